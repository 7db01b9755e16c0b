// The program's own terminate handler. libstdc++'s default one writes the
// uncaught exception's demangled type to stderr, which a GUI program has not
// got, and brings the whole demangler with it: about 46 KB of a program that
// every player downloads. Defined here, in the program itself, it keeps the
// library's out of the link; std::terminate still ends the program at once.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

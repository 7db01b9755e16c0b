// libcurl, loaded on its first use rather than with the program. Linked in,
// libcurl and the libraries it brings (TLS, LDAP, Kerberos, SSH, ...) took
// about 6 ms of the program's start before its first line ran: a third of
// the time to the window. Here the program defines the few libcurl calls it
// makes; the first of them, always on a worker thread behind the shown
// window, loads the library from the system's library path, as the
// dynamic linker would have. Without it, a transfer fails like one that
// cannot connect.
#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdarg>
#include <mutex>

namespace {

struct CurlCalls {
  CURLcode (*globalInit)(long) = nullptr;
  CURL* (*easyInit)() = nullptr;
  void (*easyCleanup)(CURL*) = nullptr;
  CURLcode (*easySetopt)(CURL*, CURLoption, ...) = nullptr;
  CURLcode (*easyGetinfo)(CURL*, CURLINFO, ...) = nullptr;
  CURLcode (*easyPerform)(CURL*) = nullptr;
  void (*free)(void*) = nullptr;
  curl_slist* (*slistAppend)(curl_slist*, const char*) = nullptr;
  void (*slistFreeAll)(curl_slist*) = nullptr;
  CURLU* (*url)() = nullptr;
  void (*urlCleanup)(CURLU*) = nullptr;
  CURLUcode (*urlGet)(CURLU*, CURLUPart, char**, unsigned int) = nullptr;
  CURLUcode (*urlSet)(CURLU*, CURLUPart, const char*, unsigned int) = nullptr;
};

template <typename Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

// The library's calls, all of them or none.
const CurlCalls& Calls() {
  static CurlCalls calls;
  static std::once_flag once;
  std::call_once(once, [] {
    // Never closed: transfers may run until the process ends.
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return;
    CurlCalls bound;
    if (Bind(library, "curl_global_init", bound.globalInit) && Bind(library, "curl_easy_init", bound.easyInit) &&
        Bind(library, "curl_easy_cleanup", bound.easyCleanup) && Bind(library, "curl_easy_setopt", bound.easySetopt) &&
        Bind(library, "curl_easy_getinfo", bound.easyGetinfo) &&
        Bind(library, "curl_easy_perform", bound.easyPerform) && Bind(library, "curl_free", bound.free) &&
        Bind(library, "curl_slist_append", bound.slistAppend) &&
        Bind(library, "curl_slist_free_all", bound.slistFreeAll) && Bind(library, "curl_url", bound.url) &&
        Bind(library, "curl_url_cleanup", bound.urlCleanup) && Bind(library, "curl_url_get", bound.urlGet) &&
        Bind(library, "curl_url_set", bound.urlSet)) {
      calls = bound;
    }
  });
  return calls;
}

// An option's one argument, by the type its number says.
CURLcode SetOption(CURL* handle, CURLoption option, va_list args) {
  const CurlCalls& c = Calls();
  if (c.easySetopt == nullptr) return CURLE_FAILED_INIT;
  if (option < CURLOPTTYPE_OBJECTPOINT) return c.easySetopt(handle, option, va_arg(args, long));
  if (option >= CURLOPTTYPE_OFF_T && option < CURLOPTTYPE_BLOB) {
    return c.easySetopt(handle, option, va_arg(args, curl_off_t));
  }
  return c.easySetopt(handle, option, va_arg(args, void*));  // data, callbacks and blobs are pointers
}

}  // namespace

// libcurl's own prototypes put an enumeration before the "...": of int's
// size and never promoted, which some compilers warn of all the same.
static_assert(sizeof(CURLoption) == sizeof(int) && sizeof(CURLINFO) == sizeof(int));
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wvarargs"
#endif

extern "C" {

CURLcode curl_global_init(long flags) {
  const CurlCalls& c = Calls();
  return c.globalInit != nullptr ? c.globalInit(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
  const CurlCalls& c = Calls();
  return c.easyInit != nullptr ? c.easyInit() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
  if (handle != nullptr) Calls().easyCleanup(handle);  // a handle means the library is there
}

CURLcode(curl_easy_setopt)(CURL* handle, CURLoption option, ...) {
  va_list args;
  va_start(args, option);
  const CURLcode result = SetOption(handle, option, args);
  va_end(args);
  return result;
}

CURLcode(curl_easy_getinfo)(CURL* handle, CURLINFO info, ...) {
  const CurlCalls& c = Calls();
  if (c.easyGetinfo == nullptr) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);  // every result is written through a pointer
  va_end(args);
  return c.easyGetinfo(handle, info, out);
}

CURLcode curl_easy_perform(CURL* handle) {
  const CurlCalls& c = Calls();
  return c.easyPerform != nullptr ? c.easyPerform(handle) : CURLE_FAILED_INIT;
}

void curl_free(void* p) {
  if (p != nullptr) Calls().free(p);
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  const CurlCalls& c = Calls();
  return c.slistAppend != nullptr ? c.slistAppend(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (list != nullptr) Calls().slistFreeAll(list);
}

CURLU* curl_url() {
  const CurlCalls& c = Calls();
  return c.url != nullptr ? c.url() : nullptr;
}

void curl_url_cleanup(CURLU* handle) {
  if (handle != nullptr) Calls().urlCleanup(handle);
}

CURLUcode curl_url_get(CURLU* handle, CURLUPart what, char** part, unsigned int flags) {
  const CurlCalls& c = Calls();
  return c.urlGet != nullptr ? c.urlGet(handle, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_set(CURLU* handle, CURLUPart what, const char* part, unsigned int flags) {
  const CurlCalls& c = Calls();
  return c.urlSet != nullptr ? c.urlSet(handle, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

}  // extern "C"

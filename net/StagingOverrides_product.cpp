// A product build: the environment never changes where the program connects
// or whom it trusts. Not even the variables' names are in the program.
#include "net/StagingOverrides.h"

const char* StagingOverride(StagingVariable) { return nullptr; }

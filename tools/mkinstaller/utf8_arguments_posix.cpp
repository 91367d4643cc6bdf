// UTF-8 arguments on POSIX systems: the bytes as given, which the builder
// takes to be UTF-8; see utf8_arguments.h.
#include "utf8_arguments.h"

std::string Utf8Argument(int, char** argv, int index) { return argv[index]; }

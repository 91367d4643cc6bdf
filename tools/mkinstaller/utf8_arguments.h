// Command-line arguments as UTF-8 text, for the values that go into the
// installer as text (version information): on Windows argv holds them in
// the ANSI code page, which cannot say every character.
#pragma once

#include <string>

// Argument `index` of `argv` (of `argc`) in UTF-8.
std::string Utf8Argument(int argc, char** argv, int index);

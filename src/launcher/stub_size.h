// The "SIZE" report: tells a building tool the value to write into the
// stub-size field (the stub file's size plus one).
#pragma once

#include <cstdint>

// Shows FindFileSize(ownPath) + 1 in decimal through ShowDialogMessage and
// returns when the box is closed. A path that cannot be found shows 1.
void ShowStubSize(const char* ownPath);

// A message box with no owner, caption "Dialog", an OK button and the
// information icon.
void ShowDialogMessage(const char* text);

// The low 32 bits of the size of the file found at `path` by a directory
// search (any attributes); 0 when nothing is found.
uint32_t FindFileSize(const char* path);

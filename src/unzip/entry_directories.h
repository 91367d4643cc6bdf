// Creation of the directories an entry's output path runs through.
#pragma once

// Splits a path in place: given a text, starts on it; given null, goes on
// where the previous call stopped. Returns the current piece and, when a
// separator follows, overwrites it with a terminator; after the last piece
// the next call returns null. Empty pieces are returned as empty strings. A
// separator byte that is the second byte of a two-byte character does not
// split.
char* NextPathToken(char* text, char separator);

// Enters, and makes where missing, every directory of a backslash path up to
// (not including) the component after its last backslash: the file name, or
// nothing for a path ending in a backslash. A leading "X:" component moves to
// the root of that drive. Directories are resolved relative to the process's
// current directory, which is left at the deepest directory reached; stops
// at the first component that can be neither entered nor made.
void MakeEntryDirectories(const char* path);

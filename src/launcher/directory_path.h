// Making the directories of a path, as the installation does for the user's
// temporary directory.
#pragma once

// Creates every missing directory of `path` (with or without a trailing
// backslash), from the outermost missing one inwards. Paths shorter than
// three characters (a drive such as C:, empty) count as existing. Whether a
// creation works is not looked at: a directory that could not be made shows
// up when files are written into it.
void CreateDirectoryPath(const char* path);

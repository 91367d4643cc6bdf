// The launcher's deletions: the guarded removal of a directory tree that an
// earlier run left below a temporary directory (the REMOVE mode), and the
// clean-up of plain files in a working directory before a new run fills it. Results of single deletions are not looked at: what cannot be
// deleted stays, and so does every directory above it.
#pragma once

// The REMOVE mode: deletes the tree only when it lies strictly below
// WindowsDirectory + "\Temp\" or below `userTemp`, the user's temporary
// directory with its backslash (where installations work: since Windows
// 2000 it lies in the user's profile; never a drive's root or a directory
// the clean-up protects), compared ignoring ASCII case; never such a directory itself,
// never a path that climbs out of it again, and never one on which a
// component below it is a link (the tree itself included): the text would
// pass while the deletion went elsewhere.
void RemoveScheduledDirectory(const char* directory, const char* userTemp);

// Deletes every file and directory below `directory`, depth first, then the
// directory itself. Hidden, system and read-only entries are visited but no
// attribute is changed. A link (a junction or symbolic link) is removed
// itself and never entered, so nothing it points to is touched.
void DeleteDirectoryTree(const char* directory);

// Deletes the plain files directly in `directory`; subdirectories and their
// contents stay. Refused for the protected directories (IsCleanupRefused),
// for a directory that is a link, and for one the file system names
// otherwise than its text: a component that ends in a dot or a blank ("..":
// C:\Temp\..\Program Files\ passes every textual guard), or an absolute
// form that differs.
void CleanDirectoryFiles(const char* directory);

// True for the directories the clean-up never touches: the empty argument,
// the Windows and System directories (given with a trailing backslash), the
// root of the current drive, C:\Program Files\ and one developer's source
// tree; compared as whole paths, with a trailing backslash, ignoring case.
bool IsCleanupRefused(const char* directory, const char* windowsDirectoryWithBackslash,
                      const char* systemDirectoryWithBackslash);

// True when `directory` lies strictly below `base` (a directory with its
// trailing backslash; an empty one holds nothing): it begins with `base`,
// ignoring ASCII case, and the rest names at least one directory, none of
// whose components ends in a dot or a blank (".." would climb out again,
// and Windows names "x " otherwise as a last component than further in) and
// none of which holds a colon.
bool IsStrictlyBelow(const char* directory, const char* base);

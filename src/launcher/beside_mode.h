// The "123" mode: extracting an archive that lies beside the stub, or in a
// directory given on the command line, and offering to run the setup
// program from where it went.
#pragma once

// ownPath is the stub's own file; argument2 and argument3 are the command
// line's words after "123" ("" when absent). With argument2 "RD" the
// archive lies in the directory argument3, and the run ends after the
// extraction; otherwise it lies in the stub's directory, the setup program
// is offered (or started, or only the extraction is reported, by the
// setup-command field), and a non-empty argument2 names a file that is
// deleted at the end together with the archive. An archive that is there
// but damaged or incomplete ends the run first, with a box naming it and
// exit code 1.
void RunExtractBeside(const char* ownPath, const char* argument2, const char* argument3);

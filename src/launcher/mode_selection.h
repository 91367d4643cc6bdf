// Chooses the stub's mode from its first argument.
#pragma once

enum class Mode {
  ReportSize,     // "SIZE", exact: show the stub-size value to write
  EndAtOnce,      // "VREMOVE", any case: what the uninstall entry runs
  Remove,         // "REMOVE", any case: remove a directory a run left behind
  ExtractBeside,  // "123", exact: extract the archive lying beside the stub
  Install,        // anything else, or nothing: the installation
};

// Tests "SIZE" exactly, then "VREMOVE" and "REMOVE" after ASCII-only
// upper-casing, then "123" exactly, in that order.
Mode SelectMode(const char* argument1);

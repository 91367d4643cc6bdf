// The progress line of `mkinstaller --from`: one line on stderr, redrawn in
// place (carriage return, then blanks over what is left of the longer line
// before), with the files and bytes packed of the total, the rate and the
// file being written. Shown on a terminal or when asked for; a log never
// gets it unless asked.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct ProgressLine {
  bool shown = false;
  uint64_t files = 0, bytes = 0;  // the totals
  std::chrono::steady_clock::time_point start, drawn;
  size_t length = 0;  // of the line on the screen
};

// True when stderr is a terminal.
bool ErrorsGoToTerminal();

// Starts the line for `files` files of `bytes` bytes in all; draws it
// when `shown`.
void StartProgress(ProgressLine& line, bool shown, uint64_t files, uint64_t bytes);
// Redraws it, at most ten times a second.
void ShowProgress(ProgressLine& line, uint64_t filesDone, uint64_t bytesDone,
                  const std::string& current);
// Draws the final state, when `complete`, and ends the line.
void EndProgress(ProgressLine& line, bool complete);

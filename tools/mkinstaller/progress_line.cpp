// Drawing the progress line; see progress_line.h.
#include "progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace {

// Keeps the line within 79 columns: a long name loses its beginning.
constexpr size_t kWidth = 79;

void Draw(ProgressLine& line, uint64_t filesDone, uint64_t bytesDone, const std::string& current) {
  const auto now = std::chrono::steady_clock::now();
  line.drawn = now;
  const double seconds = std::chrono::duration<double>(now - line.start).count();
  const double rate = seconds > 0 ? static_cast<double>(bytesDone) / 1e6 / seconds : 0;
  char head[96];
  std::snprintf(head, sizeof head, "%llu/%llu files, %.1f/%.1f MB, %.1f MB/s",
                static_cast<unsigned long long>(filesDone),
                static_cast<unsigned long long>(line.files), static_cast<double>(bytesDone) / 1e6,
                static_cast<double>(line.bytes) / 1e6, rate);
  std::string text = head;
  if (!current.empty() && text.size() + 2 < kWidth) {
    const size_t room = kWidth - text.size() - 2;
    text += ": " + (current.size() <= room ? current
                                           : "..." + current.substr(current.size() - room + 3));
  }
  const size_t length = text.size();
  if (length < line.length) text.append(line.length - length, ' ');
  line.length = length;
  std::fprintf(stderr, "\r%s", text.c_str());
  std::fflush(stderr);
}

}  // namespace

bool ErrorsGoToTerminal() { return isatty(fileno(stderr)) != 0; }

void StartProgress(ProgressLine& line, bool shown, uint64_t files, uint64_t bytes) {
  line = ProgressLine{};
  line.shown = shown;
  line.files = files;
  line.bytes = bytes;
  line.start = std::chrono::steady_clock::now();
  if (shown) Draw(line, 0, 0, "");
}

void ShowProgress(ProgressLine& line, uint64_t filesDone, uint64_t bytesDone,
                  const std::string& current) {
  if (!line.shown || std::chrono::steady_clock::now() - line.drawn < std::chrono::milliseconds(100)) {
    return;
  }
  Draw(line, filesDone, bytesDone, current);
}

void EndProgress(ProgressLine& line, bool complete) {
  if (!line.shown) return;
  if (complete) Draw(line, line.files, line.bytes, "");
  std::fputc('\n', stderr);
  line.shown = false;
}

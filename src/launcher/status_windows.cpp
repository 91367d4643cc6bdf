// The status windows; see status_windows.h.
//
// Each is a frame of the system's dialog class, captioned "Installer", with
// the border style only (an overlapped top-level window, neither popup nor
// child), 250 x 75, centred horizontally with its top 25 pixels above the
// desktop's vertical centre; its text line is a plain STATIC control at
// (15, 10), 250 x 20 (clipped by the frame). No font is set: the system's
// defaults apply. Nothing is examined: a window that cannot be made is a
// null handle, and calls on it do nothing.
#include "launcher/status_windows.h"

#include "unzip/extract_archive.h"

namespace {

constexpr int kFrameWidth = 250;
constexpr int kFrameHeight = 75;

HWND ShowStatusWindow(const char* text, HWND* textLine) {
  HWND desktop = GetDesktopWindow();
  RECT edges = {};
  GetWindowRect(desktop, &edges);
  int x = edges.right / 2 - kFrameWidth / 2;
  int y = edges.bottom / 2 - 25;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND frame = CreateWindowExA(0, "#32770", "Installer", WS_BORDER, x, y, kFrameWidth,
                               kFrameHeight, desktop, nullptr, instance, nullptr);
  *textLine = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE, 15, 10, 250, 20, frame,
                              nullptr, instance, nullptr);
  return frame;
}

void ShowAndPaint(HWND frame, HWND textLine) {
  ShowWindow(frame, SW_SHOWNORMAL);
  ShowWindow(textLine, SW_SHOWNORMAL);
  UpdateWindow(frame);
}

}  // namespace

HWND ShowCopyingWindow() {
  HWND textLine;
  HWND frame = ShowStatusWindow("Copying Files...", &textLine);
  ShowAndPaint(frame, textLine);
  return frame;
}

HWND ShowExtractionWindow() {
  HWND textLine;
  HWND frame = ShowStatusWindow("Extracting, 0% complete", &textLine);
  ExtractionTextControl = reinterpret_cast<WindowHandle>(textLine);
  ShowAndPaint(frame, textLine);
  return frame;
}

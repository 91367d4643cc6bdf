// The status windows; see status_windows.h.
//
// Each is a frame of the system's dialog class, captioned "Installer", with
// the border style only (an overlapped top-level window, neither popup nor
// child), 250 x 75, centred horizontally with its top 25 pixels above the
// desktop's vertical centre; its text line is a plain STATIC control at
// (15, 10), 250 x 20 (clipped by the frame). No font is set: the system's
// defaults apply. Nothing is examined: a window that cannot be made is a
// null handle, and calls on it do nothing.
//
// The stub tells Windows that it is aware of the screen's DPI (its
// manifest), so Windows does not stretch these windows into a blur; the
// sizes above are at 96 DPI and are scaled to the system's DPI here, which
// leaves them exactly as they are on a 96-DPI screen.
#include "launcher/status_windows.h"

#include "unzip/extract_archive.h"

namespace {

constexpr int kFrameWidth = 250;
constexpr int kFrameHeight = 75;

// The system's DPI: from GetDpiForSystem where Windows has it (10, version
// 1607 on), else from GDI's device capabilities of the screen (GDI is
// loaded into every program that uses windows; it is not linked, to keep
// the stub's imports to four DLLs), else 96.
int SystemDpi() {
  using GetDpiForSystemFunction = UINT(WINAPI*)();
  using GetDeviceCapsFunction = int(WINAPI*)(HDC, int);
  FARPROC forSystem = GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForSystem");
  if (forSystem) {
    return static_cast<int>(reinterpret_cast<GetDpiForSystemFunction>(
        reinterpret_cast<void (*)()>(forSystem))());
  }
  HMODULE gdi = GetModuleHandleA("gdi32.dll");
  FARPROC caps = gdi ? GetProcAddress(gdi, "GetDeviceCaps") : nullptr;
  HDC screen = caps ? GetDC(nullptr) : nullptr;
  if (!screen) return 96;
  constexpr int kLogPixelsY = 90;
  int dpi = reinterpret_cast<GetDeviceCapsFunction>(reinterpret_cast<void (*)()>(caps))(
      screen, kLogPixelsY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HWND ShowStatusWindow(const char* text, HWND* textLine) {
  int dpi = SystemDpi();
  auto scaled = [dpi](int pixels) { return (pixels * dpi + 48) / 96; };
  HWND desktop = GetDesktopWindow();
  RECT edges = {};
  GetWindowRect(desktop, &edges);
  int x = edges.right / 2 - scaled(kFrameWidth) / 2;
  int y = edges.bottom / 2 - scaled(25);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HWND frame = CreateWindowExA(0, "#32770", "Installer", WS_BORDER, x, y, scaled(kFrameWidth),
                               scaled(kFrameHeight), desktop, nullptr, instance, nullptr);
  *textLine = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE, scaled(15), scaled(10),
                              scaled(250), scaled(20), frame, nullptr, instance, nullptr);
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

// Win32 side of what the user sees and does: message boxes, the status text,
// the message pump, the abort key and the tick count.
#include <windows.h>

#include "platform/platform.h"

static MessageBoxObserver boxObserver = nullptr;

void SetMessageBoxObserver(MessageBoxObserver observer) { boxObserver = observer; }

int ShowMessageBox(const char* text, const char* caption, uint32_t flags) {
  if (boxObserver) boxObserver(caption, text);
  return MessageBoxA(nullptr, text, caption, flags);
}

void SetStatusText(WindowHandle control, const char* text) {
  if (control == 0) return;
  HWND window = reinterpret_cast<HWND>(control);
  SetWindowTextA(window, text);
  UpdateWindow(window);
}

void DispatchPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool IsKeyDown(uint16_t virtualKey) {
  return (static_cast<uint16_t>(GetAsyncKeyState(virtualKey)) & 0x8000) != 0;
}

uint32_t TickCount() { return GetTickCount(); }

// uirobot: runs a Windows program and plays the person in front of it.
//
//   uirobot.exe [OPTION]... -- COMMAND LINE
//   uirobot.exe [OPTION]... --command-env NAME --
//
//   OPTION: --timeout SECONDS, --answer BUTTON (repeatable),
//           --screenshot TEXT FILE
//
// Starts COMMAND LINE (everything after the first " -- ", passed to
// CreateProcess unchanged, so its quoting is the caller's), or the command
// line held by environment variable NAME (a launcher such as wine re-quotes
// its arguments, an environment variable arrives as it is), then watches for
// visible top-level dialog windows (class "#32770") of that process. Each
// dialog with at least one button (a message box) is recorded once and then
// answered: the next --answer in order names the button to press by its text
// without '&', in any case ("OK", "Yes", "No", ...). When the answers run
// out, or the named button is missing, the robot presses OK, else No, else
// the first button, and marks the answer "(unscripted)".
//
// Dialog frames without buttons are status windows. They are not answered;
// each box's block lists every status window of the process at that moment,
// hidden ones included, with its text lines (the frame's child windows).
//
// --screenshot TEXT FILE (TEXT not empty): as soon as a visible status window
// shows a line beginning with TEXT, the robot suspends the thread that owns
// the window, copies the window's screen rectangle and lets the thread go on;
// the picture is written to FILE (a 24-bit BMP) when the program has ended.
// A window can be shown before it is painted, or still carry the remains of
// a message box, so the picture must show the frame's client area in the
// dialog colour (COLOR_3DFACE) outside its lines and the matching line with
// that colour and another (its text); otherwise the robot tries again a few
// milliseconds later. When no picture passed a second after the first try,
// or the window went away first, the last picture is kept and marked
// "(unpainted)".
//
// Transcript on stdout, one block per box, then the ending:
//
//   box 1
//   caption: Installer
//   text: CRC-Error!
//   icon: error
//   button: OK
//   status: visible 387,359 250x75 Installer
//   status line: Static 15,10 250x20 Extracting, 40% complete
//   status: hidden 387,359 250x75 Installer
//   status line: Static 15,10 250x20 Copying Files...
//   pressed: OK
//
//   screenshot: Z:\\tmp\\shot.bmp
//   screenshot text: Extracting, 20% complete
//   exit: 0
//
// "icon:" is none, information, question, warning, error or other.
// "status:" gives visible or hidden, the frame's screen rectangle as
// x,y widthxheight (GetWindowRect) and its caption; each "status line:" below
// it gives a child's class name as Windows reports it ("Static" for a STATIC
// control), its rectangle relative to the frame's client area, and its text.
// "screenshot:" names FILE, with " (unpainted)" appended when the window
// never showed clean; "screenshot text:" follows with the matching line's
// text at capture time. It is "screenshot: none" when no such window was
// seen. In captions, texts and
// FILE, backslash, CR, LF and tab are written \\, \r, \n and \t. The last line
// is "exit: N" with the program's exit code, or "timeout" when the program
// did not end in time (it is then killed).
//
// Exit code: the program's own, 124 on timeout, 125 for a bad robot command
// line, 126 when the program cannot be started. Default timeout: 30 s.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitTimeout = 124;
constexpr int kExitUsage = 125;
constexpr int kExitCannotStart = 126;

// Wine puts a message box's icon into Static 1088, Windows into Static 20.
constexpr int kIconControlIds[] = {1088, 20};
constexpr int kMessageTextId = 0xFFFF;

// A screenshot is looked for every few milliseconds, a painted text line
// waited for a second.
constexpr DWORD kFastPollMs = 2;
constexpr DWORD kPollMs = 50;
constexpr ULONGLONG kPaintWaitMs = 1000;
constexpr DWORD kPaintRetryMs = 5;

struct Options {
  DWORD timeoutMs = 30000;
  std::vector<std::string> answers;
  std::string screenshotText;  // empty: no screenshot
  std::string screenshotFile;
  std::string commandLine;
};

struct Button {
  std::string text;  // without '&'
  int id;
};

// GetWindowTextA reads another process's window text without sending it a
// message (GetWindowTextLengthA would send one and could block).
std::string WindowText(HWND window) {
  std::vector<char> text(32768);
  int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return std::string(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

std::string ClassName(HWND window) {
  char name[64];
  int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, length > 0 ? static_cast<size_t>(length) : 0);
}

// "&Yes" -> "Yes"; "&&" stands for one '&'.
std::string WithoutMnemonic(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM param) {
  if (ClassName(child) == "Button" && IsWindowVisible(child)) {
    auto* buttons = reinterpret_cast<std::vector<Button>*>(param);
    buttons->push_back({WithoutMnemonic(WindowText(child)), GetDlgCtrlID(child)});
  }
  return TRUE;
}

std::vector<Button> Buttons(HWND box) {
  std::vector<Button> buttons;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

// A 32-bit top-down pixel grid drawn through a memory DC.
struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> data;
};

// Copies a screen rectangle.
Pixels CaptureScreen(const RECT& rect) {
  Pixels out;
  out.width = rect.right - rect.left;
  out.height = rect.bottom - rect.top;
  out.data.assign(static_cast<size_t>(out.width) * out.height, 0);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, out.width, out.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, out.width, out.height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = out.width;
  info.bmiHeader.biHeight = -out.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  GetDIBits(memory, bitmap, 0, out.height, out.data.data(), &info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

// `icon` drawn at its own size at the top left of a width x height area
// filled with `background`.
Pixels RenderIcon(HICON icon, int width, int height, COLORREF background) {
  Pixels out;
  out.width = width;
  out.height = height;
  out.data.assign(static_cast<size_t>(width) * height, 0);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all = {0, 0, width, height};
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  GdiFlush();
  std::memcpy(out.data.data(), bits, out.data.size() * sizeof(uint32_t));
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return out;
}

// True when every opaque pixel of `icon` (one that comes out the same on a
// black and on a white background) has its colour in `shown`.
bool ShowsIcon(const Pixels& shown, HICON icon) {
  Pixels onBlack = RenderIcon(icon, shown.width, shown.height, RGB(0, 0, 0));
  Pixels onWhite = RenderIcon(icon, shown.width, shown.height, RGB(255, 255, 255));
  size_t opaque = 0;
  for (size_t i = 0; i < shown.data.size(); ++i) {
    uint32_t colour = onBlack.data[i] & 0xFFFFFF;
    if (colour != (onWhite.data[i] & 0xFFFFFF)) continue;
    if (colour != (shown.data[i] & 0xFFFFFF)) return false;
    ++opaque;
  }
  return opaque > 0;
}

// The icon a message box shows. The program's icon handle means nothing in
// this process, so the icon is told by its pixels on the screen, compared
// with this process's copies of the system icons. The box may not be
// painted yet when first seen: the comparison is retried for a while.
const char* IconName(HWND box) {
  for (int id : kIconControlIds) {
    HWND control = GetDlgItem(box, id);
    if (control == nullptr) continue;
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutA(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon) || icon == 0) {
      continue;
    }
    struct Known {
      LPCSTR resource;
      const char* name;
    };
    const Known known[] = {{IDI_INFORMATION, "information"},
                           {IDI_QUESTION, "question"},
                           {IDI_WARNING, "warning"},
                           {IDI_ERROR, "error"}};
    RECT rect;
    GetWindowRect(control, &rect);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return "other";
    for (int attempt = 0; attempt < 40; ++attempt) {
      Pixels shown = CaptureScreen(rect);
      for (const Known& k : known) {
        if (ShowsIcon(shown, LoadIconA(nullptr, k.resource))) return k.name;
      }
      Sleep(50);
    }
    return "other";
  }
  return "none";
}

struct WindowSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && ClassName(window) == "#32770") {
    search->found.push_back(window);
  }
  return TRUE;
}

// The process's top-level dialog windows, hidden ones included.
std::vector<HWND> Dialogs(DWORD processId) {
  WindowSearch search{processId, {}};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> StatusWindows(const std::vector<HWND>& dialogs) {
  std::vector<HWND> status;
  for (HWND dialog : dialogs) {
    if (Buttons(dialog).empty()) status.push_back(dialog);
  }
  return status;
}

// One child window of a status window; `rect` is relative to the frame's
// client area.
struct StatusLine {
  HWND window;
  std::string className;
  RECT rect;
  std::string text;
};

std::vector<StatusLine> StatusLines(HWND frame) {
  std::vector<StatusLine> lines;
  for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
    lines.push_back({child, ClassName(child), rect, WindowText(child)});
  }
  return lines;
}

void PrintStatusWindows(const std::vector<HWND>& status) {
  for (HWND frame : status) {
    RECT rect;
    GetWindowRect(frame, &rect);
    std::printf("status: %s %ld,%ld %ldx%ld %s\n", IsWindowVisible(frame) ? "visible" : "hidden",
                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                Escaped(WindowText(frame)).c_str());
    for (const StatusLine& line : StatusLines(frame)) {
      std::printf("status line: %s %ld,%ld %ldx%ld %s\n", line.className.c_str(), line.rect.left,
                  line.rect.top, line.rect.right - line.rect.left,
                  line.rect.bottom - line.rect.top, Escaped(line.text).c_str());
    }
  }
}

// Picks the button to press for `wanted` (empty: no scripted answer left).
const Button* ChooseButton(const std::vector<Button>& buttons, const std::string& wanted,
                           bool* scripted) {
  *scripted = false;
  if (!wanted.empty()) {
    for (const Button& b : buttons) {
      if (SameIgnoringCase(b.text, wanted)) {
        *scripted = true;
        return &b;
      }
    }
  }
  for (const char* fallback : {"OK", "No"}) {
    for (const Button& b : buttons) {
      if (SameIgnoringCase(b.text, fallback)) return &b;
    }
  }
  return &buttons.front();
}

void RecordAndAnswer(HWND box, const std::vector<Button>& buttons, int number,
                     const std::string& wanted, const std::vector<HWND>& status) {
  std::printf("box %d\n", number);
  std::printf("caption: %s\n", Escaped(WindowText(box)).c_str());
  HWND textControl = GetDlgItem(box, kMessageTextId);
  std::printf("text: %s\n", textControl ? Escaped(WindowText(textControl)).c_str() : "");
  std::printf("icon: %s\n", IconName(box));
  for (const Button& b : buttons) std::printf("button: %s\n", Escaped(b.text).c_str());
  PrintStatusWindows(status);
  bool scripted = false;
  const Button* press = ChooseButton(buttons, wanted, &scripted);
  std::printf("pressed: %s%s\n\n", Escaped(press->text).c_str(), scripted ? "" : " (unscripted)");
  std::fflush(stdout);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(press->id, BN_CLICKED), 0);
}

// The --screenshot request and the latest picture of a matching window.
struct Screenshot {
  std::string prefix;
  std::string file;
  ULONGLONG firstUnpainted = 0;  // tick count of the first unpainted picture
  bool done = false;  // no more tries: painted, or tried long enough
  bool painted = false;
  Pixels pixels;      // empty until a matching window was seen
  std::string text;   // the matching line at capture time
};

// True when the picture shows `frame` painted and uncovered: its client area
// holds only the dialog colour (COLOR_3DFACE) outside its lines, and the
// `matching` line's area holds that colour and another one (its text). A
// window shown before its first paint, or still overlapped by the remains
// of a message box, fails this.
bool ShowsText(const Pixels& shot, HWND frame, const RECT& frameRect, HWND matching) {
  RECT client;
  GetClientRect(frame, &client);
  MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&client), 2);
  OffsetRect(&client, -frameRect.left, -frameRect.top);
  RECT all = {0, 0, shot.width, shot.height};
  IntersectRect(&client, &client, &all);  // the frame may reach beyond the screen
  // The lines' areas in the picture's coordinates.
  std::vector<StatusLine> lines = StatusLines(frame);
  for (StatusLine& line : lines) {
    GetWindowRect(line.window, &line.rect);
    OffsetRect(&line.rect, -frameRect.left, -frameRect.top);
  }
  COLORREF face = GetSysColor(COLOR_3DFACE);
  uint32_t background = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  bool sawBackground = false, sawOther = false;
  for (LONG y = client.top; y < client.bottom; ++y) {
    for (LONG x = client.left; x < client.right; ++x) {
      uint32_t colour = shot.data[static_cast<size_t>(y) * shot.width + x] & 0xFFFFFF;
      POINT point = {x, y};
      HWND under = nullptr;
      for (const StatusLine& line : lines) {
        if (PtInRect(&line.rect, point)) under = line.window;
      }
      if (under == matching) {
        (colour == background ? sawBackground : sawOther) = true;
      } else if (under == nullptr && colour != background) {
        return false;
      }
    }
  }
  return sawBackground && sawOther;
}

// Writes `pixels` as a 24-bit bottom-up BMP, rows padded to 4 bytes.
bool WriteBmp(const std::string& file, const Pixels& pixels) {
  const uint32_t rowSize = (static_cast<uint32_t>(pixels.width) * 3 + 3) & ~3u;
  BITMAPFILEHEADER header = {};
  BITMAPINFOHEADER info = {};
  header.bfType = 0x4D42;  // "BM"
  header.bfOffBits = sizeof header + sizeof info;
  header.bfSize = header.bfOffBits + rowSize * pixels.height;
  info.biSize = sizeof info;
  info.biWidth = pixels.width;
  info.biHeight = pixels.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  info.biSizeImage = rowSize * pixels.height;
  std::vector<uint8_t> data(info.biSizeImage, 0);
  for (int y = 0; y < pixels.height; ++y) {
    uint8_t* row = &data[static_cast<size_t>(pixels.height - 1 - y) * rowSize];
    for (int x = 0; x < pixels.width; ++x) {
      uint32_t colour = pixels.data[static_cast<size_t>(y) * pixels.width + x];
      row[3 * x] = colour & 0xFF;
      row[3 * x + 1] = (colour >> 8) & 0xFF;
      row[3 * x + 2] = (colour >> 16) & 0xFF;
    }
  }
  FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) return false;
  bool ok = std::fwrite(&header, sizeof header, 1, out) == 1 &&
            std::fwrite(&info, sizeof info, 1, out) == 1 &&
            std::fwrite(data.data(), 1, data.size(), out) == data.size();
  return std::fclose(out) == 0 && ok;
}

// A visible status window among `status` with a line beginning with `prefix`.
bool FindStatusLine(const std::vector<HWND>& status, const std::string& prefix, HWND* frame,
                    StatusLine* found) {
  for (HWND window : status) {
    if (!IsWindowVisible(window)) continue;
    for (const StatusLine& line : StatusLines(window)) {
      if (line.text.compare(0, prefix.size(), prefix) == 0) {
        *frame = window;
        *found = line;
        return true;
      }
    }
  }
  return false;
}

// One attempt at the screenshot. The window's thread is held while the
// text is checked and the pixels copied, so that both show the same moment.
void TryScreenshot(const std::vector<HWND>& status, Screenshot* shot) {
  HWND frame;
  StatusLine line;
  if (!FindStatusLine(status, shot->prefix, &frame, &line)) return;
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(frame, nullptr));
  if (thread == nullptr) return;  // the program is ending
  if (SuspendThread(thread) != static_cast<DWORD>(-1)) {
    // The text may have moved on between the first look and the suspension.
    if (FindStatusLine({frame}, shot->prefix, &frame, &line)) {
      RECT frameRect;
      GetWindowRect(frame, &frameRect);
      shot->pixels = CaptureScreen(frameRect);
      shot->text = line.text;
      shot->painted = ShowsText(shot->pixels, frame, frameRect, line.window);
      if (!shot->painted && shot->firstUnpainted == 0) shot->firstUnpainted = GetTickCount64();
      shot->done = shot->painted || GetTickCount64() - shot->firstUnpainted >= kPaintWaitMs;
    }
    ResumeThread(thread);
  }
  CloseHandle(thread);
  if (!shot->done) Sleep(kPaintRetryMs);
}

// Writes the picture taken (an unpainted one too: the window was there but
// never showed its text) and reports it.
void FinishScreenshot(const Screenshot& shot) {
  if (shot.pixels.data.empty()) {
    std::printf("screenshot: none\n");
    return;
  }
  if (!WriteBmp(shot.file, shot.pixels)) {
    std::fprintf(stderr, "uirobot: cannot write %s\n", shot.file.c_str());
    std::printf("screenshot: none\n");
    return;
  }
  std::printf("screenshot: %s%s\n", Escaped(shot.file).c_str(), shot.painted ? "" : " (unpainted)");
  std::printf("screenshot text: %s\n", Escaped(shot.text).c_str());
}

bool ParseOptions(int argc, char** argv, Options* options) {
  const char* commandEnv = nullptr;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    if (std::strcmp(argv[i], "--command-env") == 0 && i + 1 < argc) {
      commandEnv = argv[++i];
      continue;
    }
    if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      options->timeoutMs = static_cast<DWORD>(std::atoi(argv[++i])) * 1000;
    } else if (std::strcmp(argv[i], "--answer") == 0 && i + 1 < argc) {
      options->answers.push_back(argv[++i]);
    } else if (std::strcmp(argv[i], "--screenshot") == 0 && i + 2 < argc && *argv[i + 1] != '\0' &&
               options->screenshotText.empty()) {
      options->screenshotText = argv[++i];
      options->screenshotFile = argv[++i];
    } else {
      return false;
    }
  }
  if (options->timeoutMs == 0) return false;
  if (i == argc - 1 && commandEnv != nullptr) {
    DWORD length = GetEnvironmentVariableA(commandEnv, nullptr, 0);
    if (length == 0) return false;
    std::vector<char> value(length);
    GetEnvironmentVariableA(commandEnv, value.data(), length);
    options->commandLine = value.data();
    return true;
  }
  // The program's command line is taken raw, so its quoting survives.
  const char* marker = std::strstr(GetCommandLineA(), " -- ");
  if (i >= argc - 1 || marker == nullptr || commandEnv != nullptr) return false;
  options->commandLine = marker + 4;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: uirobot [OPTION]... -- COMMAND LINE\n"
                 "       uirobot [OPTION]... --command-env NAME --\n"
                 "OPTION: --timeout SECONDS, --answer BUTTON, --screenshot TEXT FILE\n");
    return kExitUsage;
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> commandLine(options.commandLine.begin(), options.commandLine.end());
  commandLine.push_back('\0');
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "uirobot: cannot start %s (error %lu)\n", options.commandLine.c_str(),
                 GetLastError());
    return kExitCannotStart;
  }
  CloseHandle(process.hThread);

  ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  std::vector<HWND> answered;  // boxes pressed and not yet gone
  size_t nextAnswer = 0;
  int boxCount = 0;
  Screenshot shot;
  shot.prefix = options.screenshotText;
  shot.file = options.screenshotFile;
  shot.done = shot.prefix.empty();
  while (WaitForSingleObject(process.hProcess, shot.done ? kPollMs : kFastPollMs) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) {
      TerminateProcess(process.hProcess, kExitTimeout);
      if (!options.screenshotText.empty()) FinishScreenshot(shot);
      std::printf("timeout\n");
      return kExitTimeout;
    }
    std::vector<HWND> stillThere;
    for (HWND box : answered) {
      if (IsWindow(box) && IsWindowVisible(box)) stillThere.push_back(box);
    }
    answered.swap(stillThere);

    std::vector<HWND> dialogs = Dialogs(process.dwProcessId);
    std::vector<HWND> status = StatusWindows(dialogs);
    if (!shot.done) TryScreenshot(status, &shot);
    for (HWND box : dialogs) {
      bool seen = false;
      for (HWND a : answered) seen = seen || a == box;
      if (seen || !IsWindowVisible(box)) continue;
      std::vector<Button> buttons = Buttons(box);
      if (buttons.empty()) continue;  // a status window
      std::string wanted = nextAnswer < options.answers.size() ? options.answers[nextAnswer++] : "";
      // A message box seen while Windows was still making it had no
      // buttons yet and passed for a status window: it is none.
      std::vector<HWND> others;
      for (HWND window : status) {
        if (window != box) others.push_back(window);
      }
      RecordAndAnswer(box, buttons, ++boxCount, wanted, others);
      answered.push_back(box);
    }
  }

  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  if (!options.screenshotText.empty()) FinishScreenshot(shot);
  std::printf("exit: %lu\n", exitCode);
  return static_cast<int>(exitCode);
}

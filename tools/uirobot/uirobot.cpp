// uirobot: runs a Windows program and plays the person in front of it.
//
//   uirobot.exe [--timeout SECONDS] [--answer BUTTON]... -- COMMAND LINE
//   uirobot.exe [--timeout SECONDS] [--answer BUTTON]... --command-env NAME --
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
// the first button, and marks the answer "(unscripted)". Dialog frames
// without buttons (status windows) are not recorded.
//
// Transcript on stdout, one block per box, then the ending:
//
//   box 1
//   caption: Dialog
//   text: 279041
//   icon: information
//   button: OK
//   pressed: OK
//
//   exit: 0
//
// "icon:" is none, information, question, warning, error or other. In the
// caption and text, backslash, CR, LF and tab are written \\, \r, \n and \t.
// The last line is "exit: N" with the program's exit code, or "timeout" when
// the program did not end in time (it is then killed).
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

struct Options {
  DWORD timeoutMs = 30000;
  std::vector<std::string> answers;
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
  if (owner == search->processId && IsWindowVisible(window) && ClassName(window) == "#32770") {
    search->found.push_back(window);
  }
  return TRUE;
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
                     const std::string& wanted) {
  std::printf("box %d\n", number);
  std::printf("caption: %s\n", Escaped(WindowText(box)).c_str());
  HWND textControl = GetDlgItem(box, kMessageTextId);
  std::printf("text: %s\n", textControl ? Escaped(WindowText(textControl)).c_str() : "");
  std::printf("icon: %s\n", IconName(box));
  for (const Button& b : buttons) std::printf("button: %s\n", Escaped(b.text).c_str());
  bool scripted = false;
  const Button* press = ChooseButton(buttons, wanted, &scripted);
  std::printf("pressed: %s%s\n\n", Escaped(press->text).c_str(), scripted ? "" : " (unscripted)");
  std::fflush(stdout);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(press->id, BN_CLICKED), 0);
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
                 "usage: uirobot [--timeout SECONDS] [--answer BUTTON]... -- COMMAND LINE\n"
                 "       uirobot [--timeout SECONDS] [--answer BUTTON]... --command-env NAME --\n");
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
  while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) {
      TerminateProcess(process.hProcess, kExitTimeout);
      std::printf("timeout\n");
      return kExitTimeout;
    }
    std::vector<HWND> stillThere;
    for (HWND box : answered) {
      if (IsWindow(box) && IsWindowVisible(box)) stillThere.push_back(box);
    }
    answered.swap(stillThere);

    WindowSearch search{process.dwProcessId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
      bool seen = false;
      for (HWND a : answered) seen = seen || a == box;
      if (seen) continue;
      std::vector<Button> buttons = Buttons(box);
      if (buttons.empty()) continue;  // a status window
      std::string wanted = nextAnswer < options.answers.size() ? options.answers[nextAnswer++] : "";
      RecordAndAnswer(box, buttons, ++boxCount, wanted);
      answered.push_back(box);
    }
  }

  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  std::printf("exit: %lu\n", exitCode);
  return static_cast<int>(exitCode);
}

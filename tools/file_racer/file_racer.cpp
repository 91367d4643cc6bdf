// file_racer: the Windows side of the Wine tests' races. A test stops the
// installer under test at a chosen moment and has this program do what a
// program of the same user would try there, through the Win32 file calls,
// so that Windows's sharing rules decide whether it may:
//
//   file_racer.exe rename FROM TO     MoveFileA (fails when TO exists)
//   file_racer.exe replace FROM TO    MoveFileExA with MOVEFILE_REPLACE_EXISTING
//   file_racer.exe write PATH TEXT    creates or truncates PATH with TEXT
//   file_racer.exe hold PATH SECONDS  opens PATH for reading, sharing read
//                                     and write but not delete, and keeps it
//                                     open that long (a file in use)
//   file_racer.exe sddl PATH          prints the access list of PATH as the
//                                     security calls read it back
//
// Exit code 0 when the call worked, else the system's error code (2 for a
// wrong command line, as ERROR_FILE_NOT_FOUND would be).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "rename") == 0) {
    return MoveFileA(argv[2], argv[3]) ? 0 : static_cast<int>(GetLastError());
  }
  if (argc == 4 && std::strcmp(argv[1], "replace") == 0) {
    return MoveFileExA(argv[2], argv[3], MOVEFILE_REPLACE_EXISTING)
               ? 0
               : static_cast<int>(GetLastError());
  }
  if (argc == 4 && std::strcmp(argv[1], "write") == 0) {
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    DWORD written = 0;
    const BOOL ok = WriteFile(file, argv[3], static_cast<DWORD>(std::strlen(argv[3])), &written,
                              nullptr);
    CloseHandle(file);
    return ok ? 0 : static_cast<int>(GetLastError());
  }
  if (argc == 4 && std::strcmp(argv[1], "hold") == 0) {
    HANDLE file = CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
    CloseHandle(file);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "sddl") == 0) {
    PSECURITY_DESCRIPTOR security = nullptr;
    PACL list = nullptr;
    DWORD error = GetNamedSecurityInfoA(argv[2], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &list, nullptr, &security);
    char* text = nullptr;
    if (error == ERROR_SUCCESS &&
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(
            security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
      error = GetLastError();
    }
    if (error != ERROR_SUCCESS) return static_cast<int>(error);
    std::printf("%s\n", text);
    return 0;
  }
  std::fprintf(stderr, "usage: file_racer rename|replace FROM TO | write PATH TEXT | "
                       "hold PATH SECONDS | sddl PATH\n");
  return 2;
}

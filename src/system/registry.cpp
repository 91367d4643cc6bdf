// Registry strings through the Win32 ANSI registry calls; see registry.h.
#include <windows.h>

#include <string.h>

#include "system/fatal_error.h"
#include "system/registry.h"

namespace {

HKEY RootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

const char* WithoutLeadingBackslash(const char* keyPath) {
  return keyPath[0] == '\\' ? keyPath + 1 : keyPath;
}

[[noreturn]] void FailOnValue(HKEY key, void* data, const char* what, const char* valueName) {
  if (data) HeapFree(GetProcessHeap(), 0, data);
  RegCloseKey(key);
  PathText message;
  SetText(message, what);
  AppendText(message, " '");
  AppendText(message, valueName);
  AppendText(message, "'");
  FatalError(message.tooLong ? what : message.chars);
}

}  // namespace

void ReadRegistryString(RegistryRoot root, const char* keyPath, const char* valueName,
                        const char* defaultValue, PathText& out) {
  SetText(out, defaultValue);
  HKEY key;
  if (RegOpenKeyExA(RootKey(root), WithoutLeadingBackslash(keyPath), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  SetText(out, "");
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0) {
    RegCloseKey(key);
    return;
  }
  auto* data = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
  if (!data || RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                &size) != ERROR_SUCCESS) {
    FailOnValue(key, data, "Failed to get data for", valueName);
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    FailOnValue(key, data, "Invalid data type for", valueName);
  }
  // The data need not end in a NUL: it ends at the first NUL or its size.
  uint32_t length = 0;
  while (length < size && data[length] != '\0') ++length;
  AppendRange(out, data, length);
  HeapFree(GetProcessHeap(), 0, data);
  RegCloseKey(key);
}

bool WriteRegistryString(RegistryRoot root, const char* keyPath, const char* valueName,
                         const char* value) {
  // Only the right to set values is asked for: a key that grants that much
  // is written, whatever else it withholds.
  HKEY key;
  if (RegCreateKeyExA(RootKey(root), WithoutLeadingBackslash(keyPath), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = static_cast<DWORD>(strlen(value)) + 1;
  bool written = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return written;
}

void DeleteRegistryValue(RegistryRoot root, const char* keyPath, const char* valueName) {
  HKEY key;
  if (RegOpenKeyExA(RootKey(root), WithoutLeadingBackslash(keyPath), 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueA(key, valueName);
  RegCloseKey(key);
}

// registry_lock: gives a key under HKEY_LOCAL_MACHINE new access rules, in
// both registry views (64-bit and 32-bit), making the key if it is missing.
// The Wine tests use it to refuse the stub's writes there, as Windows
// refuses a standard user's, and to open the key again:
//
//   registry_lock.exe KEY SDDL
//
// KEY is the path below HKEY_LOCAL_MACHINE; SDDL the new discretionary
// access list in the security descriptor language, for example
// "D:(D;CI;0x6;;;WD)(A;CI;KA;;;WD)" (deny setting values and making subkeys
// to everyone, allow the rest) or "D:(A;CI;KA;;;WD)" (allow everything).
// Exit code 0 when both views took the rules, 1 when one did not, 2 for a
// wrong command line.
#include <windows.h>
#include <sddl.h>

#include <cstdio>

namespace {

bool SetRules(const char* keyPath, PSECURITY_DESCRIPTOR rules, REGSAM view) {
  HKEY key;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                WRITE_DAC | view, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, rules);
    RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) std::fprintf(stderr, "registry_lock: %s: error %ld\n", keyPath, status);
  return status == ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: registry_lock.exe KEY SDDL\n");
    return 2;
  }
  PSECURITY_DESCRIPTOR rules = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(argv[2], SDDL_REVISION_1, &rules,
                                                            nullptr)) {
    std::fprintf(stderr, "registry_lock: not a security descriptor: %s\n", argv[2]);
    return 2;
  }
  bool set = SetRules(argv[1], rules, KEY_WOW64_64KEY);
  set = SetRules(argv[1], rules, KEY_WOW64_32KEY) && set;
  LocalFree(rules);
  return set ? 0 : 1;
}

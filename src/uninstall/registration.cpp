// Uninstall registration through the registry; the texts are built in
// removal_command.cpp.
#include "uninstall/registration.h"

#include "system/registry.h"
#include "system/user_temp.h"
#include "uninstall/removal_command.h"

namespace {

constexpr const char* kUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvane_stub";
constexpr const char* kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void WriteForMachineOrUser(const char* keyPath, const char* valueName, const char* value) {
  if (!WriteRegistryString(RegistryRoot::LocalMachine, keyPath, valueName, value)) {
    WriteRegistryString(RegistryRoot::CurrentUser, keyPath, valueName, value);
  }
}

}  // namespace

void RegisterUninstallEntry() {
  WriteForMachineOrUser(kUninstallKey, "DisplayName", "Orvane Stub");
  PathText temp;
  UserTempDirectory(temp);
  PathText command;
  BuildUninstallCommand(temp.chars, command);
  if (!command.tooLong) {
    WriteForMachineOrUser(kUninstallKey, "UninstallString", command.chars);
  }
}

void ScheduleRemoval(const char* entryName, const char* directory) {
  PathText temp;
  UserTempDirectory(temp);
  PathText command;
  BuildRemovalCommand(temp.chars, directory, command);
  // A cut command could name another directory: nothing is written then.
  if (!command.tooLong) WriteRunOnceValue(entryName, command.chars);
}

void WriteRunOnceValue(const char* valueName, const char* command) {
  WriteForMachineOrUser(kRunOnceKey, valueName, command);
}

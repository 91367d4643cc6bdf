// Uninstall registration through the registry; the texts are built in
// removal_command.cpp.
#include "uninstall/registration.h"

#include "system/registry.h"
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

void RegisterUninstallEntry(const char* tempDirectory) {
  WriteForMachineOrUser(kUninstallKey, "DisplayName", "Orvane Stub");
  PathText command;
  BuildUninstallCommand(tempDirectory, command);
  if (!command.tooLong) {
    WriteForMachineOrUser(kUninstallKey, "UninstallString", command.chars);
  }
}

void ScheduleRemoval(const char* entryName, const char* directory, const char* tempDirectory) {
  PathText command;
  BuildRemovalCommand(tempDirectory, directory, command);
  // A cut command could name another directory: nothing is written then.
  if (!command.tooLong) {
    WriteRegistryString(RegistryRoot::CurrentUser, kRunOnceKey, entryName, command.chars);
  }
}

void CancelRemoval(const char* entryName) {
  DeleteRegistryValue(RegistryRoot::CurrentUser, kRunOnceKey, entryName);
}

// Listing a folder to pack (POSIX); see host_files.h. lstat, so a symbolic
// link is seen as one and never followed.
#include "host_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { closedir(directory); }
};

std::string Failure(const char* action, const std::string& path) {
  return std::string("cannot ") + action + " '" + path + "': " + std::strerror(errno);
}

}  // namespace

std::string ListTree(const std::string& root, std::vector<TreeItem>& items) {
  struct stat info;
  if (stat(root.c_str(), &info) != 0) return Failure("read folder", root);
  if (!S_ISDIR(info.st_mode)) return "'" + root + "' is not a folder";

  // Folders still to read: their path on this machine and their entry name.
  std::vector<std::pair<std::string, std::string>> pending = {{root, ""}};
  while (!pending.empty()) {
    const auto [folderPath, folderName] = pending.back();
    pending.pop_back();
    errno = 0;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folderPath.c_str()));
    if (!directory) return Failure("read folder", folderPath);
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(directory.get());
      if (entry == nullptr) {
        if (errno != 0) return Failure("read folder", folderPath);
        break;
      }
      const std::string base = entry->d_name;
      if (base == "." || base == "..") continue;
      TreeItem item;
      item.path = folderPath + "/" + base;
      item.name = folderName + base;
      if (lstat(item.path.c_str(), &info) != 0) return Failure("read", item.path);
      if (S_ISLNK(info.st_mode)) return "'" + item.path + "' is a symbolic link (not followed)";
      if (S_ISDIR(info.st_mode)) {
        item.isDirectory = true;
        item.name += "/";
        pending.emplace_back(item.path, item.name);
      } else if (S_ISREG(info.st_mode)) {
        item.size = static_cast<uint64_t>(info.st_size);
      } else {
        return "'" + item.path + "' is neither a regular file nor a folder";
      }
      item.modified = static_cast<int64_t>(info.st_mtime);
      items.push_back(std::move(item));
    }
  }
  return "";
}

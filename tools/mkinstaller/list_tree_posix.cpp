// Listing a folder to pack (POSIX); see host_files.h. lstat, so a symbolic
// link is seen as one; it is followed (stat) only when asked, and a link to
// a folder that holds it would make the tree endless: such a loop is
// refused, found by the device and inode of the folders above.
#include "host_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
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

PendingFolder::Id IdOf(const struct stat& info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

void ListTree(const std::string& root, bool followLinks, std::vector<TreeItem>& items,
              std::vector<std::string>& problems) {
  struct stat info;
  if (stat(root.c_str(), &info) != 0) {
    problems.push_back(Failure("read folder", root));
    return;
  }
  if (!S_ISDIR(info.st_mode)) {
    problems.push_back("'" + root + "' is not a folder");
    return;
  }

  std::vector<PendingFolder> pending = {{root, "", {IdOf(info)}}};
  while (!pending.empty()) {
    const PendingFolder folder = std::move(pending.back());
    pending.pop_back();
    errno = 0;
    std::unique_ptr<DIR, DirectoryCloser> directory(opendir(folder.path.c_str()));
    if (!directory) {
      problems.push_back(Failure("read folder", folder.path));
      continue;
    }
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(directory.get());
      if (entry == nullptr) {
        if (errno != 0) problems.push_back(Failure("read folder", folder.path));
        break;
      }
      const std::string base = entry->d_name;
      if (base == "." || base == "..") continue;
      TreeItem item;
      item.path = folder.path + "/" + base;
      item.name = folder.name + base;
      if (lstat(item.path.c_str(), &info) != 0) {
        problems.push_back(Failure("read", item.path));
        continue;
      }
      if (S_ISLNK(info.st_mode)) {
        if (!followLinks) {
          problems.push_back("'" + item.path +
                             "' is a symbolic link (not followed without --follow-links)");
          continue;
        }
        if (stat(item.path.c_str(), &info) != 0) {
          problems.push_back(Failure("follow the symbolic link", item.path));
          continue;
        }
      }
      if (S_ISDIR(info.st_mode)) {
        const PendingFolder::Id id = IdOf(info);
        if (std::find(folder.chain.begin(), folder.chain.end(), id) != folder.chain.end()) {
          problems.push_back("'" + item.path +
                             "' is a symbolic link to a folder that holds it (a loop)");
          continue;
        }
        item.isDirectory = true;
        item.name += "/";
        PendingFolder below = {item.path, item.name, folder.chain};
        below.chain.push_back(id);
        pending.push_back(std::move(below));
      } else if (S_ISREG(info.st_mode)) {
        item.size = static_cast<uint64_t>(info.st_size);
      } else {
        problems.push_back("'" + item.path + "' is neither a regular file nor a folder");
        continue;
      }
      item.modified = static_cast<int64_t>(info.st_mtime);
      items.push_back(std::move(item));
    }
  }
}

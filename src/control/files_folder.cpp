#include "control/files_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/error_text.h"

namespace vordel {
namespace {

// Makes the folder and the folders above it that are missing (only the user may enter the new
// ones).
void MakeFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0700);
  }
  mkdir(path.c_str(), 0700);
}

}  // namespace

FilesFolder::FilesFolder(std::string path) : path_(path.empty() ? DefaultPath() : std::move(path)) {
  while (path_.size() > 1 && path_.back() == '/') {
    path_.pop_back();
  }
}

std::string FilesFolder::DefaultPath() {
  // Read at start-up, before any thread of the program's own.
  const char* data = std::getenv("XDG_DATA_HOME");  // NOLINT(concurrency-mt-unsafe)
  if (data != nullptr && data[0] == '/') {
    return std::string(data) + "/vordel";
  }
  const char* home = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe)
  return std::string(home != nullptr ? home : "") + "/.local/share/vordel";
}

std::optional<FilesFolder::Place> FilesFolder::Locate(const std::string& name,
                                                      std::string* error) const {
  auto refuse = [&](const std::string& why) {
    *error = "'" + name + "' " + why;
    return std::nullopt;
  };
  if (name.empty() || name[0] == '/') {
    return refuse("is not a name inside the files folder " + path_ + " (a name there, not a path)");
  }
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= name.size();) {
    const std::size_t slash = std::min(name.find('/', at), name.size());
    parts.push_back(name.substr(at, slash - at));
    at = slash + 1;
  }
  for (const std::string& part : parts) {
    if (part.empty() || part == "." || part == "..") {
      return refuse("is not a name inside the files folder " + path_ +
                    " (no empty, . or .. parts)");
    }
  }
  MakeFolders(path_);
  UniqueFd folder(open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) {
    *error = "cannot open the files folder " + path_ + ": " + ErrorText(errno);
    return std::nullopt;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    UniqueFd next(
        openat(folder.get(), parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.valid()) {
      return refuse(
          "does not lead to a folder inside the files folder " + path_ + " (" + parts[i] + ": " +
          (errno == ELOOP || errno == ENOTDIR ? std::string("not a folder") : ErrorText(errno)) +
          ")");
    }
    folder = std::move(next);
  }
  Place place;
  place.folder = std::move(folder);
  place.leaf = parts.back();
  place.full = path_ + "/" + name;
  return place;
}

std::optional<UniqueFd> FilesFolder::OpenForReading(const Place& place, std::string* error) const {
  UniqueFd fd(openat(place.folder.get(), place.leaf.c_str(),
                     O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) {
    *error = "cannot read " + place.full + ": " +
             (errno == ELOOP ? std::string("it is a symbolic link") : ErrorText(errno));
    return std::nullopt;
  }
  return fd;
}

}  // namespace vordel

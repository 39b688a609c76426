// The one folder where the files that other programs name live (--files-dir, by default
// $XDG_DATA_HOME/vordel, made on first use): a name that comes over OSC is a name inside it, never
// a path elsewhere. A name may go through folders inside it, but not up ("..") nor through a
// symbolic link, and it never starts at the root; every step is opened without following links,
// so nothing outside the folder is reached however the folder's contents change. Control thread;
// not real-time safe.
#pragma once

#include <optional>
#include <string>

#include "platform/unique_fd.h"

namespace vordel {

class FilesFolder {
 public:
  // "" for the default.
  explicit FilesFolder(std::string path = "");
  // $XDG_DATA_HOME/vordel, or ~/.local/share/vordel.
  static std::string DefaultPath();
  const std::string& path() const { return path_; }

  // Where a name leads: the folder that holds it, opened, and its last part.
  struct Place {
    UniqueFd folder;
    std::string leaf;
    std::string full;  // the folder's path and the name, for messages and answers
  };
  // nullopt, with the reason, for a name that is empty, starts with '/', has an empty part, a
  // "." or ".." part, or leads through something that is not a real folder inside.
  std::optional<Place> Locate(const std::string& name, std::string* error) const;
  // The name's file opened for reading (a regular file, not a link, never waiting on a FIFO).
  std::optional<UniqueFd> OpenForReading(const Place& place, std::string* error) const;

 private:
  std::string path_;
};

}  // namespace vordel

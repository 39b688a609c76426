#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vordel {
namespace {

// The folder the locks live in, or "" when there is none we can trust. Without a runtime folder
// they go to a folder of the user's own under $TMPDIR (or /tmp); one that is there already is used
// only when it is a real folder, ours, and closed to everybody else, since another user could have
// made it first.
std::string LockFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return runtime;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp != nullptr && *tmp == '/') ? tmp : "/tmp";
  folder += "/vordel-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0) {
    return {};
  }
  return folder;
}

}  // namespace

int ClaimInstanceNumber() {
  const std::string folder = LockFolder();
  if (folder.empty()) {
    return 1;
  }
  for (int n = 1; n <= 99; ++n) {
    const std::string path = folder + "/vordel-" + std::to_string(n) + ".lock";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      return 1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      return n;  // the descriptor stays open: the lock lasts as long as the process
    }
    close(fd);
  }
  return 1;
}

std::string InstanceName(int number) {
  return number <= 1 ? std::string("vordel") : "vordel-" + std::to_string(number);
}

}  // namespace vordel

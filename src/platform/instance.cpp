#include "platform/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace vordel {
namespace {

std::string LockFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime != nullptr && *runtime != '\0') {
    return runtime;
  }
  std::string folder = "/tmp/vordel-" + std::to_string(getuid());
  mkdir(folder.c_str(), 0700);
  return folder;
}

}  // namespace

int ClaimInstanceNumber() {
  const std::string folder = LockFolder();
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

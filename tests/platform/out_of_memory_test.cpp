#include "platform/out_of_memory.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <new>
#include <string>

namespace vordel {
namespace {

int g_said = -1;  // the pipe the action writes to, in the child

void SayIt() {
  (void)!write(g_said, "silenced", 8);
}

// Memory that runs out ends the process with 1 and "out of memory", but only after the action
// (which ends the sounding notes) has run.
TEST(OutOfMemory, TheActionRunsBeforeTheProcessEnds) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocators report a failed allocation themselves";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
  GTEST_SKIP() << "the sanitizers' allocators report a failed allocation themselves";
#endif
#endif
  int said[2];
  int err[2];
  ASSERT_EQ(pipe(said), 0);
  ASSERT_EQ(pipe(err), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(said[0]);
    close(err[0]);
    dup2(err[1], STDERR_FILENO);
    g_said = said[1];
    InstallOutOfMemoryHandler();
    SetOutOfMemoryAction(&SayIt);
    volatile std::size_t huge = std::size_t{1} << 62;
    char* volatile p = new char[huge];
    (void)!write(STDOUT_FILENO, p, 1);
    _exit(0);  // not reached
  }
  close(said[1]);
  close(err[1]);
  int status = 0;
  waitpid(child, &status, 0);
  char text[64] = {};
  const ssize_t n = read(said[0], text, sizeof text - 1);
  char line[64] = {};
  const ssize_t m = read(err[0], line, sizeof line - 1);
  close(said[0]);
  close(err[0]);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0), "silenced");
  EXPECT_EQ(std::string(line, m > 0 ? static_cast<std::size_t>(m) : 0), "out of memory\n");
}

}  // namespace
}  // namespace vordel

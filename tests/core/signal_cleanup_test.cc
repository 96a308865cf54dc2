// What a stop signal removes: a guarded claim while it is still empty, never the finished file
// that has replaced it.
#include "core/signal_cleanup.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

TEST(SignalCleanup, ClaimsGoWhileEmptyAndFinishedFilesStay) {
  TempDir dir;
  const std::string claimed = dir.File("claimed.pdf"), finished = dir.File("finished.pdf"),
                    scratch = dir.File("scratch.tmp");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    WriteFileText(claimed, "");
    WriteFileText(finished, "");
    WriteFileText(scratch, "partial");
    CleanupPath a, b, c;
    a.GuardWhileEmpty(claimed.c_str());
    b.GuardWhileEmpty(finished.c_str());
    c.Guard(scratch.c_str());
    // The signed copy has been moved over the claim, and the signal comes before the release.
    WriteFileText(finished, "%PDF-1.7 signed");
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_FALSE(FileExists(claimed));
  EXPECT_FALSE(FileExists(scratch));
  EXPECT_EQ(ToText(ReadFileBytes(finished)), "%PDF-1.7 signed");
}

}  // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// Interrupts in a child process: each signal removes the registered
// temporary files and ends the program with 128 + its number, at once or,
// while interrupts are held (files being put in place), when the last of the
// nested holds ends.  A temporary file in a folder deeper than PATH_MAX is
// removed too.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/interrupt_cleanup.h"
#include "support/testutil.h"

namespace tarvel {
namespace {

TEST(Interrupts, CleanUpAndExitAtOnceOrWhenTheHoldEnds) {
  struct Case {
    int sig;
    bool held;
    bool deep;
  };
  for (const auto& [sig, held, deep] :
       {Case{SIGINT, false, false}, Case{SIGTERM, false, false}, Case{SIGHUP, false, false},
        Case{SIGTERM, true, false}, Case{SIGINT, false, true}}) {
    SCOPED_TRACE(std::to_string(sig) + (held ? " held" : "") + (deep ? " deep" : ""));
    testing::TempDir dir;
    const std::string folder =
        deep ? testing::MakeDeepFolder(dir.path(), 25, std::string(200, 'd')) : dir.path();
    const std::string temporary = folder + "/.tarvel-0123456789abcdef.tmp";
    const pid_t pid = fork();
    if (pid == 0) {
      InstallInterruptCleanup();
      testing::WriteText(temporary, "partial");
      if (RegisterTemporaryFile(temporary) < 0) _exit(1);
      {
        InterruptsHeld outer;
        {
          InterruptsHeld inner;
          if (held) raise(sig);
        }
        testing::WriteText(dir / "held until here", "");
      }
      if (!held) raise(sig);
      _exit(0);  // not reached: the signal ends the program
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig) << status;
    EXPECT_FALSE(testing::Exists(temporary));
    EXPECT_TRUE(testing::Exists(dir / "held until here"));
  }
}

}  // namespace
}  // namespace tarvel

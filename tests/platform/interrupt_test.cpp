// Interrupts in a child process: each signal removes the registered
// temporary files and ends the program with 128 + its number, at once or,
// while interrupts are held (files being put in place), when the hold ends.
#include "platform/interrupt_cleanup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/testutil.h"

namespace tarvel {
namespace {

struct Case {
  int signal;
  bool held;  // the signal arrives while interrupts are held
};

TEST(Interrupts, CleanUpAndExitAtOnceOrWhenTheHoldEnds) {
  for (const Case c : {Case{SIGINT, false}, Case{SIGTERM, false}, Case{SIGHUP, false},
                       Case{SIGTERM, true}, Case{SIGHUP, true}}) {
    SCOPED_TRACE(std::to_string(c.signal) + (c.held ? " held" : ""));
    testing::TempDir dir;
    const std::string temporary = dir / ".tarvel-0123456789abcdef.tmp";
    const std::string during = dir / "after-the-signal";
    const pid_t pid = fork();
    if (pid == 0) {
      InstallInterruptCleanup();
      testing::WriteText(temporary, "partial");
      RegisterTemporaryFile(temporary);
      {
        InterruptsHeld outer;
        {
          InterruptsHeld inner;  // holds nest: only the last one's end acts
          if (c.held) raise(c.signal);
          testing::WriteText(during, "still running");
        }
        testing::WriteText(during, "still running after the inner hold");
      }
      if (!c.held) raise(c.signal);
      _exit(0);  // not reached: the signal ends the program
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + c.signal);
    EXPECT_FALSE(testing::Exists(temporary));
    // A held signal waited for the work of the hold to end.
    EXPECT_EQ(testing::Exists(during), true);
    if (c.held) {
      const auto text = testing::ReadBytes(during);
      EXPECT_EQ(std::string(text.begin(), text.end()), "still running after the inner hold");
    }
  }
}

}  // namespace
}  // namespace tarvel

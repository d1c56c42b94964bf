// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built tarvel-cli binary as a user would, in a given folder with
// standard input closed, and collects its exit status, standard output and
// standard error.  Optionally under a limit on the size of the files it
// writes (the system then refuses writes beyond it, as a full disk does) or
// with standard error on a terminal.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/testutil.h"

namespace tarvel::testing {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

struct CliRunOptions {
  long fileSizeLimit = -1;      // RLIMIT_FSIZE in bytes; -1: none
  bool stderrTerminal = false;  // standard error is a pseudo-terminal
  // Standard output goes to this file (as "> /dev/full" would send it)
  // instead of being collected; "|" is a pipe whose reader has gone.
  const char* stdoutTo = nullptr;
  // Permissions hold for the program even when it runs as root (which
  // could otherwise read a file of mode 000).
  bool permissionsHold = false;
  // The language chosen for the run: LC_ALL=C.UTF-8 with this LANGUAGE
  // (nullptr: the environment as the test has it).
  const char* language = nullptr;
};

// In a child process: gives up, for it and what it runs, the capabilities
// that let root read and search what its permissions deny
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH): out of the bounding set, which
// a program run as root gets its capabilities from.
inline void DropPermissionOverride() {
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    (void)prctl(PR_CAPBSET_DROP, cap, 0, 0, 0);
  }
}

inline std::string SlurpText(const std::string& path) {
  auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// In a child process: becomes tarvel-cli with `args`.  A run that never
// ends is killed after a minute and shows as status -1.
[[noreturn]] inline void ExecCli(const std::vector<std::string>& args) {
  alarm(60);
  std::vector<char*> argv;
  std::string prog = TARVEL_CLI_PATH;
  argv.push_back(prog.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(prog.c_str(), argv.data());
  _exit(127);
}

inline CliResult RunCli(const std::string& cwd, const std::vector<std::string>& args,
                        const CliRunOptions& options = {}) {
  TempDir io;
  const std::string outPath = io / "out", errPath = io / "err";
  int master = -1, terminal = -1;
  if (options.stderrTerminal && openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) {
    return {};
  }
  pid_t pid = fork();
  if (pid == 0) {
    int out = -1;
    if (options.stdoutTo != nullptr && std::string(options.stdoutTo) == "|") {
      int ends[2];
      if (pipe(ends) != 0) _exit(126);
      close(ends[0]);
      out = ends[1];
    } else {
      out = open(options.stdoutTo == nullptr ? outPath.c_str() : options.stdoutTo,
                 O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    int err = options.stderrTerminal ? terminal
                                     : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (master >= 0) close(master);
    if (!EnterFolder(cwd)) _exit(126);
    if (options.fileSizeLimit >= 0) {
      // The signal of a write beyond the limit is left as the system sets
      // it: tarvel-cli must turn it into an error itself.
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.permissionsHold) DropPermissionOverride();
    if (options.language != nullptr) {
      setenv("LC_ALL", "C.UTF-8", 1);
      setenv("LANGUAGE", options.language, 1);
    }
    ExecCli(args);
  }
  CliResult r;
  if (options.stderrTerminal) {
    // Read while the program runs, so that it never waits for room on the terminal.
    close(terminal);
    char buffer[4096];
    for (;;) {
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) break;  // EIO once the program has closed the terminal
      r.err.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  if (options.stdoutTo == nullptr) r.out = SlurpText(outPath);
  if (!options.stderrTerminal) r.err = SlurpText(errPath);
  return r;
}

}  // namespace tarvel::testing

// SPDX-License-Identifier: GPL-3.0-or-later
// tarvel-cli: creating, checking and repairing volume sets from a terminal.
// The same engine and the same actions as the windows: the options answer
// its prompts and questions, messages go to standard error, the reports to
// standard output, and each outcome becomes an exit status.
#pragma once

#include "platform/env.h"

namespace tarvel::cli {

// The whole command of `argv`, its files reached through `env`: the exit
// status.  Installs the program's handling of SIGINT, SIGTERM and SIGHUP.
int Run(int argc, char** argv, Env& env);

}  // namespace tarvel::cli

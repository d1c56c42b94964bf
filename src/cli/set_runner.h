// SPDX-License-Identifier: GPL-3.0-or-later
// Checking or repairing several sets in one call: the volumes named on the
// command line, then the sets found below each -r folder, each in turn.
// Every set gets its own status; a set that fails (unreadable, a file
// error) is reported and the next one is still checked.  With more than one
// set each plain report follows a heading line "== VOLUME"; with --json the
// reports give way to one JSON document.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/terminal_interaction.h"
#include "engine/engine.h"
#include "platform/env.h"

namespace tarvel::cli {

// One set as the command line reaches it.
struct SetRun {
  // Volumes of the set to read it from, tried in order until one reads: one
  // named volume, or a found set's volumes with the main volume first.
  std::vector<std::string> volumes;
};

// Checks (or repairs) one set and returns its exit status.  File-layer
// failures may be thrown; they count as status 4 for that set.  A stop
// (ActionStopped) ends the whole command.
using SetAction = std::function<int(SetRun&)>;

// Runs `action` and returns its status, or that of the failure it ended
// with, said as tarvel-cli says it: a file-layer error with the system's
// reason, a failure whose message was shown already, anything else the
// system refused (memory, a vanished folder): 4.  A stop and a failed write
// of standard output pass on, as they end the whole command.
int Guarded(TerminalInteraction& ui, const std::function<int()>& action);

// Runs `action` for every set of the command line and returns the largest
// of their statuses.
int RunSets(const Options& o, Engine& engine, Env& env, TerminalInteraction& ui,
            const SetAction& action);

// A file-layer error as tarvel-cli shows it: the system's text, then the
// operating system's reason in parentheses when there is one.
std::string FileErrorMessage(const FileError& error);

}  // namespace tarvel::cli

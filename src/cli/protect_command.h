// SPDX-License-Identifier: GPL-3.0-or-later
// tarvel-cli protect: every folder below each DIR given its sets, kept
// current and checked.  One line per folder on standard output as it is
// done, the damaged and missing files named on standard error, and a
// summary line; with --json one document instead of the lines.
#pragma once

#include <string>

#include "cli/options.h"
#include "cli/terminal_interaction.h"
#include "engine/engine.h"
#include "platform/env.h"

namespace tarvel::cli {

// The line of a folder: "DIR: protected, 1 set of 12 files (34567 bytes)".
std::string FolderLine(const FolderResult& result);

// Protects the folders of `o.operands` and returns the exit status: 0 when
// every folder is protected (or has nothing to protect), 1 when a file is
// damaged or missing, 4 when a folder or file could not be read, 3 when a
// DIR is no folder.
int Protect(const Options& o, Engine& engine, Env& env, TerminalInteraction& ui);

}  // namespace tarvel::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of tarvel-cli, parsed into one Options value.
//
//   tarvel-cli create [-n COUNT] [-o BASE] [-f] [--small crc|parity] [-t N] [-q] FILE...
//   tarvel-cli verify [--found leave|rename|copy] [--json] [-t N] [-q] [-r DIR]... [VOLUME...]
//   tarvel-cli repair [--found leave|rename|copy] [--revert-changed] [--json] [-t N] [-q]
//                     [-r DIR]... [VOLUME...]
//   tarvel-cli protect [-p PERCENT] [--hidden] [--drop-missing] [--small crc|parity] [--json]
//                      [-t N] [-q] DIR...
//   tarvel-cli --help | --version
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_interaction.h"

namespace tarvel::cli {

enum class Command { kHelp, kVersion, kCreate, kVerify, kRepair, kProtect };

struct Options {
  Command command = Command::kHelp;
  std::optional<int> parityCount;   // create -n
  std::optional<std::string> base;  // create -o
  bool force = false;               // create -f: replace the volumes of that name
  bool includeSmallFiles = false;   // create/protect --small parity
  int percent = 0;                  // protect -p: parity volumes per set, % of its files
  bool hidden = false;              // protect --hidden: hidden files too
  bool dropMissing = false;         // protect --drop-missing
  FoundAction found = FoundAction::kLeave;
  bool revertChanged = false;  // repair --revert-changed: rebuild files edited after the set too
  bool quiet = false;
  int threads = 0;                    // -t: 0 = one per online CPU
  bool json = false;                  // verify/repair --json
  std::vector<std::string> roots;     // verify/repair -r: folders searched for sets
  std::vector<std::string> operands;  // files (create), volumes or folders (protect)
};

// Parses argv[1..].  On a usage error returns nothing and sets `error`.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

extern const char kUsageText[];

}  // namespace tarvel::cli

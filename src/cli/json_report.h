// SPDX-License-Identifier: GPL-3.0-or-later
// The --json document of `tarvel-cli verify` and `repair`: one JSON object
// on standard output describing every set checked, in place of the report
// lines.  Everything in it comes from the set's report (engine/report.h),
// the data the plain report's lines are made from, so it says exactly what
// they say.
//
//   {"command": "verify", "status": 1, "sets": [ SET, ... ], "messages": [text...]}
//   SET: {"volume", "status", "checked", "files": [FILE...], "volumes": [VOLUME...],
//         "counts": {...} or null, "actions": [ACTION...], "messages": [text...]}
//   FILE: {"name", "in_parity", "size", "state": "ok" | "damaged" | "missing"
//          | "found_elsewhere" | "not_checked", "found_as" (found_elsewhere only),
//          "read_error" (a read or the open failed: what failed, with the
//          system's reason), "holds_volume" (the name holds that volume of the
//          set), "changed_after_set": true (damaged, and modified after the set)}
//   VOLUME: {"name", "number", "state": "ok" | "damaged" | "not_checked", "read_error"}
//   ACTION: {"action": "renamed" | "copied" | "rebuilt" | "failed",
//            "file", "from" (renames and copies), "operation" (failed only:
//            "rename" | "copy" | "rebuild")}
//
// Names are bytes.  A name (or path) that is not valid UTF-8 is written
// with each invalid byte as U+FFFD, and a second member of the same name
// with "_hex" appended ("name_hex", "found_as_hex", "volume_hex", ...) holds
// its exact bytes in lower-case hexadecimal, so the document is always valid
// JSON and the name can still be recovered.  docs/tarvel-cli.1 describes the
// document for users.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/report.h"

namespace tarvel::cli {

class JsonReport {
 public:
  explicit JsonReport(std::string command);

  // Adds the set named by `volume`: its report, when the check ran to its
  // end (null otherwise: only the volume, the status and the messages are
  // given).
  void AddSet(const std::string& volume, const SetReport* report, int status,
              const std::vector<std::string>& messages);

  // A message that belongs to no one set (a folder that cannot be read).
  void AddMessage(const std::string& text) { messages_.push_back(text); }

  // The whole document, with the status of the whole call.
  std::string Document(int status) const;

 private:
  std::string command_;
  nlohmann::ordered_json sets_ = nlohmann::ordered_json::array();
  std::vector<std::string> messages_;
};

}  // namespace tarvel::cli

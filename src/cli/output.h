// SPDX-License-Identifier: GPL-3.0-or-later
// Standard output of tarvel-cli: the reports, the success of a create and
// the JSON document.  What is written there must arrive whole: a write or
// flush that fails or falls short (a full disk, a closed pipe) ends the
// command, so that no script takes a cut report for a whole one.
#pragma once

#include <stdexcept>
#include <string_view>

namespace tarvel::cli {

// Standard output could not take what was written to it.
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(int reason)
      : std::runtime_error("Standard output cannot be written"), reason_(reason) {}
  // The system's reason (errno), 0 when unknown.
  int Reason() const { return reason_; }

 private:
  int reason_;
};

// Writes `text` to standard output and flushes it; throws OutputError when
// it does not all arrive.
void WriteOut(std::string_view text);

}  // namespace tarvel::cli

// SPDX-License-Identifier: GPL-3.0-or-later
// The exit statuses of tarvel-cli; scripts rely on them.
#pragma once

namespace tarvel::cli {

enum Exit : int {
  kSuccess = 0,
  kRepairable = 1,
  kUnrepairable = 2,
  kUsage = 3,
  kFileFailure = 4,
  kStillBad = 5,
};

}  // namespace tarvel::cli

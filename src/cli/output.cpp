// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/output.h"

#include <cerrno>
#include <cstdio>

namespace tarvel::cli {

void WriteOut(std::string_view text) {
  errno = 0;
  const std::size_t put = std::fwrite(text.data(), 1, text.size(), stdout);
  if (put != text.size() || std::fflush(stdout) != 0) {
    const int reason = errno;
    std::clearerr(stdout);
    throw OutputError(reason);
  }
}

}  // namespace tarvel::cli

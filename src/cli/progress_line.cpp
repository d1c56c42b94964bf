// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/report.h"
#include "platform/language.h"

namespace tarvel::cli {
namespace {

constexpr double kBytesPerMB = 1e6;

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string CutText(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string ProgressLine::Format(const ProgressRecord& record, double now, int width,
                                 const ProgressRecord* overall) {
  const std::string text = PrintableText(ProgressText(record));
  const std::optional<double> done = ShareDone(overall ? *overall : record);
  const ProgressPace::Figures pace =
      overall ? overallPace_.At(*overall, now) : pace_.At(record, now);

  std::string figures;
  if (done) {
    char pct[16];
    std::snprintf(pct, sizeof pct, " %d%%", static_cast<int>(std::floor(*done * 100)));
    figures += pct;
  }
  if (pace.secondsLeft) {
    if (pace.bytesPerSecond) {
      char rate[32];
      std::snprintf(rate, sizeof rate, "  %.1f MB/s", *pace.bytesPerSecond / kBytesPerMB);
      figures += rate;
    }
    figures += "  " + TrFill("%s left", {FormatDuration(*pace.secondsLeft)});
  }

  std::string shown = text;
  if (width > 0) {
    const std::size_t room = static_cast<std::size_t>(std::max(0, width - 1));
    shown = CutText(text, room > figures.size() ? room - figures.size() : 0);
    if (shown.size() + figures.size() > room) figures = CutText(figures, room - shown.size());
  }
  return shown + figures;
}

}  // namespace tarvel::cli

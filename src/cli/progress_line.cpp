#include "cli/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarvel::cli {
namespace {

constexpr double kBytesPerMB = 1e6;

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string CutText(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

std::string ProgressLine::Format(const std::string& text, int percent,
                                 const std::optional<StepWork>& work, double now, int width) {
  // How much of the pass is done, as a fraction, and in bytes when known.
  std::optional<double> done;
  std::optional<double> doneBytes;
  if (work && work->passTotal > 0 && work->doneBefore >= 0) {
    doneBytes = static_cast<double>(std::min(work->doneBefore, work->passTotal));
    done = *doneBytes / static_cast<double>(work->passTotal);
  } else if (percent >= 0) {
    done = percent / 100.0;
    if (work && work->passTotal > 0) doneBytes = *done * static_cast<double>(work->passTotal);
  }

  const std::int64_t total = work ? work->passTotal : -1;
  const ProgressPace::Figures pace = pace_.At(FirstWord(text), total, done, now);

  std::string figures;
  if (done) {
    char pct[16];
    std::snprintf(pct, sizeof pct, " %d%%", static_cast<int>(std::floor(*done * 100)));
    figures += pct;
  }
  if (pace.secondsLeft) {
    if (doneBytes && pace.bytesPerSecond) {
      char rate[32];
      std::snprintf(rate, sizeof rate, "  %.1f MB/s", *pace.bytesPerSecond / kBytesPerMB);
      figures += rate;
    }
    figures += "  " + FormatDuration(*pace.secondsLeft) + " left";
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

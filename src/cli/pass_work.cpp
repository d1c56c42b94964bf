#include "cli/pass_work.h"

#include <filesystem>

namespace tarvel::cli {
namespace {


std::int64_t SizeOf(const std::string& path) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

std::string After(const std::string& text, const std::string& prefix) {
  return text.starts_with(prefix) ? text.substr(prefix.size()) : std::string();
}

}  // namespace

void PassWork::Measure(Pass pass) {
  const SetModel& m = engine_.Model();
  const std::string& folder = engine_.SetFolder();
  before_.assign(1, 0);
  if (pass == Pass::kFiles) {
    for (int i = 0; i < m.FileCount; ++i) {
      const fileentry& e = m.FileTable[i];
      before_.push_back(before_.back() +
                        SizeOf(e.path.empty() ? JoinPath(folder, e.name) : e.path));
    }
  } else {
    for (int v = 0; v <= kLastReportedVolume; ++v) {
      const fileentry& slot = m.VolumeTable[v];
      if (slot.present) before_.push_back(before_.back() + SizeOf(JoinPath(folder, slot.name)));
    }
  }
  measured_ = pass;
}

std::optional<StepWork> PassWork::Step(Pass pass, int index, bool passStarts) {
  if (passStarts || measured_ != pass || index + 1 >= static_cast<int>(before_.size())) {
    Measure(pass);
  }
  if (index + 1 >= static_cast<int>(before_.size())) return std::nullopt;
  return StepWork{before_.back(), before_[index]};
}

std::optional<StepWork> PassWork::Of(const std::string& text) {
  const SetModel& m = engine_.Model();
  std::string name = After(text, "Checking ");
  if (name.empty()) name = After(text, "Analyzing ");
  if (!name.empty()) {
    for (int i = 0; i < m.FileCount; ++i) {
      if (m.FileTable[i].name == name) return Step(Pass::kFiles, i, i == 0);
    }
    int index = 0;
    for (int v = 0; v <= kLastReportedVolume; ++v) {
      const fileentry& slot = m.VolumeTable[v];
      if (!slot.present) continue;
      if (slot.name == name) return Step(Pass::kVolumes, index, index == 0);
      ++index;
    }
    return std::nullopt;
  }
  // One pass over the data of the files in parity, measured by the engine's
  // percentage: the files being rebuilt, or all of them when creating.
  const bool restoring = text.starts_with("Restoring ");
  if (!restoring && text != "Writing parity data...") return std::nullopt;
  std::int64_t total = 0;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (e.InParity() && (!restoring || !(e.present && e.crcok))) total += e.filesize;
  }
  return StepWork{total, -1};
}

}  // namespace tarvel::cli

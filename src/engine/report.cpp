// SPDX-License-Identifier: GPL-3.0-or-later
// The report's lines and notes, made from the report's data only.
#include "engine/report.h"

#include <cstdint>

#include "engine/interaction.h"
#include "platform/language.h"

namespace tarvel {
namespace {

constexpr char kBlankLine[] = " ";

// What follows a name on its line.
const char* StateText(FileState state) {
  switch (state) {
    case FileState::kOk:
      return TR(" OK");
    case FileState::kDamaged:
      return TR(" CRC Mismatch...");
    case FileState::kMissing:
    case FileState::kFoundElsewhere:
      return TR(" Missing...");
    case FileState::kNotChecked:
      return TR(" Not checked...");
  }
  return "";
}

const char* StateText(VolumeState state) {
  switch (state) {
    case VolumeState::kOk:
      return TR(" OK");
    case VolumeState::kDamaged:
      return TR(" CRC Mismatch...");
    case VolumeState::kNotChecked:
      return TR(" Not checked...");
  }
  return "";
}

class Lines {
 public:
  void Blank() { lines_.push_back({LineKind::kBlank, kBlankLine, 0}); }
  void Named(bool good, const std::string& name, const std::string& rest) {
    lines_.push_back({good ? LineKind::kGood : LineKind::kBad, name + rest, name.size()});
  }
  void Add(LineKind kind, std::string text) { lines_.push_back({kind, std::move(text), 0}); }
  std::vector<ReportLine> Take() { return std::move(lines_); }

 private:
  std::vector<ReportLine> lines_;
};

}  // namespace

std::vector<ReportLine> ReportLines(const SetReport& report) {
  Lines lines;
  for (const FileReport& f : report.files) {
    const bool good = f.state == FileState::kOk;
    if (!f.inParity) {
      lines.Named(good, f.name, std::string(TR(" (CRC only)")) + StateText(f.state));
    } else if (good) {
      lines.Named(true, f.name, TR(" OK"));
    } else {
      // A bad file in parity stands out between blank lines.
      lines.Blank();
      lines.Named(false, f.name, StateText(f.state));
      lines.Blank();
    }
  }
  // Damage to digest-only files cannot be repaired, but it is damage: the
  // summary never calls such a set all OK, nor one with a file unchecked.
  lines.Blank();
  if (report.badFiles > 0) {
    lines.Add(LineKind::kTotal, TrFill("%s bad/missing files.", {std::to_string(report.badFiles)}));
  } else if (report.badCrcOnly > 0) {
    lines.Add(LineKind::kTotal,
              TrFill("%s bad/missing files (CRC only).", {std::to_string(report.badCrcOnly)}));
  } else if (report.notChecked == 0) {
    lines.Add(LineKind::kTotal, TR("All files OK."));
  }
  if (report.notChecked > 0) {
    lines.Add(LineKind::kTotal,
              TrFill("%s files not checked.", {std::to_string(report.notChecked)}));
  }
  lines.Blank();
  lines.Add(LineKind::kHeading, TR("Found parity volumes:"));
  // A volume is recognised by content, whatever its name holds.
  for (const VolumeReport& v : report.volumes) {
    if (v.number == 0) continue;
    lines.Named(v.state == VolumeState::kOk, PrintableText(v.name), StateText(v.state));
  }
  lines.Blank();
  lines.Add(LineKind::kTotal, report.usableVolumes == 0
                                  ? std::string(TR("No usable parity volumes found"))
                                  : TrFill("%s usable parity volumes found.",
                                           {std::to_string(report.usableVolumes)}));
  return lines.Take();
}

std::vector<std::string> ReportTexts(const SetReport& report) {
  std::vector<std::string> texts;
  for (ReportLine& line : ReportLines(report)) texts.push_back(std::move(line.text));
  return texts;
}

std::vector<std::string> ReportNotes(const SetReport& report) {
  std::vector<std::string> notes;
  for (const FileReport& f : report.files) {
    if (!f.readError.empty()) {
      notes.push_back(f.state == FileState::kNotChecked
                          ? TrFill("%s was not checked: %s", {f.name, f.readError})
                          : f.name + ": " + f.readError);
    }
    if (f.holdsVolume >= 0) {
      notes.push_back(
          f.holdsVolume == 0
              ? TrFill("%s holds the main volume of this set, not the file the set lists: it is "
                       "used as a volume and left as it is",
                       {f.name})
              : TrFill("%s holds volume %s of this set, not the file the set lists: it is used "
                       "as a volume and left as it is",
                       {f.name, std::to_string(f.holdsVolume)}));
    }
    if (f.changedAfterSet) notes.push_back(TrFill("%s changed after the set was made", {f.name}));
  }
  for (const VolumeReport& v : report.volumes) {
    if (v.readError.empty()) continue;
    const std::string name = PrintableText(v.name);
    notes.push_back(v.state == VolumeState::kNotChecked
                        ? TrFill("%s was not checked: %s", {name, v.readError})
                        : name + ": " + v.readError);
  }
  return notes;
}

std::string PrintableText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(text[i]);
    if (b < 0x20 || b == 0x7F) {
      out.push_back('?');
    } else if (b == 0xC2 && i + 1 < text.size() && static_cast<std::uint8_t>(text[i + 1]) >= 0x80 &&
               static_cast<std::uint8_t>(text[i + 1]) <= 0x9F) {
      out.push_back('?');  // U+0080..U+009F, which terminals take as commands too
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string ErrorBoxText(const std::string& errorText) {
  if (!errorText.empty() && errorText.back() == '.') return errorText;
  return errorText + ".";
}

}  // namespace tarvel

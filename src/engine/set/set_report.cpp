// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/set/set_report.h"

#include "engine/format/volume_names.h"

namespace tarvel {
namespace {

// A file that could not be read for a reason other than damage is neither
// intact nor known to be bad.
bool NotChecked(const fileentry& e) { return e.present && e.trouble == ReadTrouble::kNotChecked; }

FileReport FileOf(const fileentry& e, const SetModel& m) {
  FileReport f;
  f.name = e.name;
  f.inParity = e.InParity();
  f.size = e.filesize;
  if (!e.present) {
    f.state = FileState::kMissing;
    for (auto it = m.Actions.rbegin(); it != m.Actions.rend(); ++it) {
      if (it->kind == FileActionKind::kFound && it->name == e.name) {
        f.state = FileState::kFoundElsewhere;
        f.foundAs = it->other;
        break;
      }
    }
    return f;
  }
  f.state = NotChecked(e) ? FileState::kNotChecked : e.crcok ? FileState::kOk : FileState::kDamaged;
  if (e.trouble == ReadTrouble::kDamaged || e.trouble == ReadTrouble::kNotChecked) {
    f.readError = ReadFailureText(e);
  }
  if (e.trouble == ReadTrouble::kIsVolume) f.holdsVolume = static_cast<int>(e.troubleAt);
  f.changedAfterSet = ChangedAfterSet(e, m);
  return f;
}

VolumeReport VolumeOf(const fileentry& slot, int number) {
  VolumeReport v;
  v.name = slot.name;
  v.number = number;
  v.state = slot.crcok                                 ? VolumeState::kOk
            : slot.trouble == ReadTrouble::kNotChecked ? VolumeState::kNotChecked
                                                       : VolumeState::kDamaged;
  if (slot.trouble == ReadTrouble::kDamaged || slot.trouble == ReadTrouble::kNotChecked) {
    v.readError = ReadFailureText(slot);
  }
  return v;
}

}  // namespace

SetCounts CountSet(const SetModel& m) {
  SetCounts c;
  for (int i = 0; i < m.FileCount; ++i) {
    const fileentry& e = m.FileTable[i];
    if (e.Intact()) continue;
    if (NotChecked(e)) {
      ++c.notChecked;
    } else if (e.InParity()) {
      ++c.badFiles;
    } else {
      ++c.badCrcOnly;
    }
  }
  for (int v = 1; v <= kLastReportedVolume; ++v) {
    c.usableVolumes += m.VolumeTable[v].present && m.VolumeTable[v].crcok;
  }
  return c;
}

SetReport BuildReport(const SetModel& m) {
  SetReport r;
  if (!VolumeNumberOfName(m.VolumeRead, &r.setName)) r.setName = m.VolumeRead;
  for (int i = 0; i < m.FileCount; ++i) r.files.push_back(FileOf(m.FileTable[i], m));
  for (int v = 0; v <= kLastReportedVolume; ++v) {
    if (m.VolumeTable[v].present) r.volumes.push_back(VolumeOf(m.VolumeTable[v], v));
  }
  const SetCounts counts = CountSet(m);
  r.badFiles = counts.badFiles;
  r.badCrcOnly = counts.badCrcOnly;
  r.notChecked = counts.notChecked;
  r.usableVolumes = counts.usableVolumes;
  r.actions = m.Actions;
  return r;
}

}  // namespace tarvel

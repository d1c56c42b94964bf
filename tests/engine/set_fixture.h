// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario helpers for the engine tests: a set folder in a temporary
// directory, an engine with scripted answers, and short ways to create a
// set, check it and look at the folder as a whole.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/format/volume_names.h"
#include "engine/set/action.h"
#include "engine/set/analysis.h"
#include "engine/set/set_writer.h"
#include "parity/rs.h"
#include "support/scripted_interaction.h"
#include "support/testutil.h"

namespace tarvel::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes TextBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Every file of a folder, hidden ones included, with its content.
inline std::map<std::string, Bytes> Snapshot(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    }
  }
  return files;
}

// Writes the control digest of a volume (MD5 of bytes 32 to the end) into
// bytes 16-31, so that a volume changed on purpose reads as intact.
inline void Reseal(Bytes& volume) {
  const md5digest d = md5buffer(volume.data() + 32, volume.size() - 32);
  std::copy(d.begin(), d.end(), volume.begin() + 16);
}

// The thread count of the engine tests: TARVEL_TEST_THREADS, or three (more
// than most machines have cores, so that workers share out jobs).
inline int TestThreads() {
  const char* text = std::getenv("TARVEL_TEST_THREADS");
  return text != nullptr ? std::atoi(text) : 3;
}

struct SetScenario {
  explicit SetScenario(Env& environment = Env::Default()) : env(environment), engine(env, ui) {
    engine.SetThreads(TestThreads());
  }

  std::string Path(const std::string& name) const { return dir / name; }
  void Write(const std::string& name, const Bytes& bytes) const { WriteBytes(Path(name), bytes); }
  // A person's edit (see Edit): a later modification time.
  void Edit(const std::string& name, const Bytes& bytes) const { testing::Edit(Path(name), bytes); }
  // Damage as a disk does it (see Corrupt): the file keeps its modification time.
  void Corrupt(const std::string& name, const Bytes& bytes) const {
    testing::Corrupt(Path(name), bytes);
  }
  Bytes Read(const std::string& name) const { return ReadBytes(Path(name)); }
  bool Has(const std::string& name) const { return Exists(Path(name)); }

  // Protects the named files of the folder as a create does, with
  // `parityCount` volumes under the base name `base` in the folder, every
  // question answered yes; with `onePass`, as the command line creates (each
  // file read once).  True when the set was made.
  bool Create(std::vector<std::string> names, int parityCount, const std::string& base = "set",
              bool onePass = false) {
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(Path(n));
    ui.setChoices.push_back(SetChoice{true, parityCount, Path(base)});
    return engine.Create(paths, {.onePass = onePass}) == CreateOutcome::kCreated;
  }

  // --- The steps of a create alone, on a model of their own -------------
  // For a set that no create through the front ends would make (a name that
  // is hidden, files in an order not by name) and for what only the model
  // shows.  The analysis of the named files, in the order given.
  std::optional<Analysis> Analyse(const std::vector<std::string>& names, bool onePass = false) {
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(Path(n));
    Action action(env, ui, model, Parity(), TestThreads(), stop);
    analysis = AnalyseFiles(action, paths, onePass);
    return analysis;
  }
  // The volumes of the last analysis, every existing volume of the base
  // name replaced.
  bool WriteAnalysed(const std::string& base, int parityCount) {
    std::vector<std::string> existing;
    for (int n = 0; n <= parityCount; ++n) {
      if (Has(VolumeFileName(base, n))) existing.push_back(Path(VolumeFileName(base, n)));
    }
    Action action(env, ui, model, Parity(), TestThreads(), stop);
    return WriteVolumeSet(action, *analysis, Path(base), parityCount, existing);
  }
  bool CreateBySteps(const std::vector<std::string>& names, int parityCount,
                     const std::string& base = "set", bool onePass = false) {
    return Analyse(names, onePass) && WriteAnalysed(base, parityCount);
  }
  ParityMatrix& Parity() {
    if (!parity) parity = std::make_unique<ParityMatrix>();
    return *parity;
  }

  // The whole check of the volume `volume`: the report lines, or empty when
  // no volume was read.
  std::vector<std::string> Check(const std::string& volume = "set.PAR") {
    check = engine.Check({Path(volume)});
    return check.outcome == CheckOutcome::kChecked ? ReportTexts(check.report)
                                                   : std::vector<std::string>();
  }

  // The lines of the report shown last (after a restore: of the set as the
  // search after it found it).
  std::vector<std::string> Recheck() const {
    return ui.reports.empty() ? std::vector<std::string>() : ui.reports.back();
  }
  // The report shown last.
  const SetReport& Report() const { return ui.setReports.back(); }

  TempDir dir;
  Env& env;
  ScriptedInteraction ui;
  Engine engine;
  CheckReport check;  // of the last Check
  // Of the steps alone.
  SetModel model;
  std::unique_ptr<ParityMatrix> parity;
  std::optional<Analysis> analysis;
  std::atomic<bool> stop{false};
};

// The volume of `number` in `report`, or null.
inline const VolumeReport* VolumeOf(const SetReport& report, int number) {
  for (const VolumeReport& v : report.volumes) {
    if (v.number == number) return &v;
  }
  return nullptr;
}

}  // namespace tarvel::testing

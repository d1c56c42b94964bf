// Scenario helpers for the engine tests: a set folder in a temporary
// directory, an engine with scripted answers, and short ways to create a
// set, check it and look at the folder as a whole.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
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

struct SetScenario {
  explicit SetScenario(Env& env = Env::Default()) : engine(env, ui) {}

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

  // Analyses the named files of the folder (in byte-wise order) and writes
  // `parityCount` volumes under the base name `base` in the folder; with
  // `onePass`, as a create whose answers stand (each file read once).
  bool Create(std::vector<std::string> names, int parityCount, const std::string& base = "set",
              bool onePass = false) {
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(Path(n));
    if (!(onePass ? engine.AnalyseNamesAndSizes(paths) : engine.AnalyseFiles(paths))) return false;
    return engine.WriteVolumeSet(Path(base), parityCount);
  }

  // The whole check of the volume `volume`: the report lines, or empty when
  // the volume was refused.
  std::vector<std::string> Check(const std::string& volume = "set.PAR") {
    std::vector<std::string> lines;
    if (!engine.ReadVolume(Path(volume))) return lines;
    engine.SearchFiles();
    engine.FindVolumes();
    engine.BuildReport(lines);
    return lines;
  }

  // Search and report again after a restore, as the report window does.
  std::vector<std::string> Recheck() {
    std::vector<std::string> lines;
    engine.SearchFiles();
    engine.BuildReport(lines);
    return lines;
  }

  TempDir dir;
  ScriptedInteraction ui;
  Engine engine;
};

}  // namespace tarvel::testing

// The volume-set engine: creating, checking and restoring a set.  It owns
// the set model and the parity arithmetic, reaches files only through an Env
// and people only through an Interaction.  Both front ends (the windows and
// the command line) drive it through the operations below, one action at a
// time; the model is consistent only between actions.
//
// File-layer failures are thrown as FileError with the text for the user;
// the front ends catch them at the top of each action.
//
// THIS HEADER IS A CONTRACT SHARED BY THE FRONT ENDS: add, do not rename.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/file_action.h"
#include "engine/interaction.h"
#include "engine/model.h"
#include "parity/rs.h"
#include "platform/env.h"

namespace tarvel {

// What a request to restore came to.
enum class RestoreOutcome {
  kNothingToRestore,  // "No files to restore..." was shown
  kNotEnoughVolumes,  // "You do not have enough parity volumes. N parity volumes are needed."
  kUnsolvable,        // refused before anything was written (singular system, > 251 files)
  kRestored,          // the run happened (files the user declined stay as they were)
};

class Engine {
 public:
  Engine(Env& env, Interaction& ui);

  SetModel& Model() { return model_; }
  const SetModel& Model() const { return model_; }
  Env& FileLayer() { return env_; }
  Interaction& User() { return ui_; }

  // --- Creating -----------------------------------------------------------
  // Paths in set order (the caller sorts them byte-wise).  Reads each file
  // once for both digests.  False when a file is empty (its message shown)
  // or when no file ended up in parity (a message is shown, nothing written).
  [[nodiscard]] bool AnalyseFiles(const std::vector<std::string>& paths);
  // Writes volumes 0..parityCount under VolumeFileName(baseName, n).  Throws
  // FileError on any failed open/create/read/write; returns true only when
  // every byte of every volume was written.
  [[nodiscard]] bool WriteVolumeSet(const std::string& baseName, int parityCount);

  // --- Checking -----------------------------------------------------------
  // The folder in which the set's files and volumes are looked for.
  void SetSetFolder(const std::string& folder) { setFolder_ = folder; }
  const std::string& SetFolder() const { return setFolder_; }

  // ResetTables + ReadVolume of `volumePath`; on success the set folder
  // becomes the volume's folder.  False after the reader's own message.
  [[nodiscard]] bool ReadVolume(const std::string& volumePath);
  // Sets present and crcok of every file (a file that is not present is
  // never intact), offering files found by content under other names.
  void SearchFiles();
  // Fills VolumeTable from the set folder and verifies every volume found.
  void FindVolumes();
  void BuildReport(std::vector<std::string>& lines);

  // --- Restoring ----------------------------------------------------------
  // The "Restore Files" action of the report: refuses with its messages when
  // nothing is bad, volumes are too few, or no choice of the usable volumes
  // 1..128 solves the recovery (nothing is created or changed then);
  // otherwise rebuilds.  Each rebuilt file is written to a hidden temporary
  // file of the set folder and renamed over its name only when complete; a
  // FileError leaves the file being rebuilt exactly as it was.  With
  // askEachFile the Restore prompt is shown per file and each confirmed file
  // is rebuilt with its own pass (the window); without it every bad file is
  // rebuilt without asking in one pass over the sources (the command line).
  // It does not search again: callers run SearchFiles and BuildReport after
  // kRestored.
  RestoreOutcome RestoreFromReport(bool askEachFile);
  // What RestoreFromReport would come to, without showing anything or
  // touching any file (kRestored: a restore would run).
  [[nodiscard]] RestoreOutcome PlanRestore();

  // Rename and copy of a file found by content (File search prompt), both
  // within the set folder.  A refused rename shows "Rename failed!"; a copy
  // goes through a temporary file and throws FileError when it fails.
  void rnfile(const std::string& found, const std::string& missing);
  void cpfile(const std::string& found, const std::string& missing);

  // What the searches and restores since the last ReadVolume did to the
  // files of the set, in order.
  const FileActionLog& Actions() const { return actions_; }

 private:
  class RestoreSources;

  // The path of a bare name of the set folder.
  std::string InSetFolder(const std::string& name) const;
  // Offers one file found by content through the File search prompt and
  // carries out the answer (given now or remembered).
  void OfferFoundFile(const std::string& found, const std::string& missing);
  // Compacts, marks the usable volumes 1..128 and solves the recovery system.
  RestoreOutcome PrepareRestore();
  // Rebuilds the missing files MissingFiles[i] for the given indices i in one
  // pass over the sources, each through a temporary file renamed into place.
  void RebuildFiles(const std::vector<int>& missingIndices, RestoreSources& sources);

  Env& env_;
  Interaction& ui_;
  SetModel model_;
  ParityMatrix parity_;
  std::string setFolder_;
  FileActionLog actions_;
};

// The text of a message box that shows a file-layer error: the error's own
// text, with a full stop added when it does not end in one.
std::string ErrorBoxText(const std::string& errorText);

}  // namespace tarvel

// SPDX-License-Identifier: GPL-3.0-or-later
// The folder window: what "Protect a Folder..." and "Check a Folder..." of
// the main window did below the chosen folder, a row per folder protected
// or per set checked (folder, set, state, files, bytes, and the details the
// command line gives for it), filled as the work goes on.  Repair All
// repairs every row that a repair can mend; opening a row (double-click or
// Enter, or Show Report) shows the File report of its set.
//
// The window does the work but does not start it: the main window runs each
// step (the protect, the check, Repair All, opening a row) as one of its
// actions, so that one action runs at a time, and Cancel asks it to stop.
// While it runs, the File report of each set and the engine's messages are
// kept with the row instead of being shown one after another.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/report.h"
#include "platform/env.h"

class QLabel;
class QPushButton;
class QStatusBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarvel::ui {

class WindowInteraction;

class TFolderForm : public QDialog {
  Q_OBJECT
 public:
  enum Column { kFolder, kSet, kState, kFiles, kBytes, kDetails, kColumns };

  TFolderForm(Engine& engine, Env& env, WindowInteraction& ui, QWidget* mainWindow);

  // The steps, run by the main window.  Each may end with ActionStopped (the
  // rows done so far stay) or an engine error.
  // Protects every folder at or below `root` (a full path): a row per folder.
  void Protect(const QString& root);
  // Checks every set at or below `root`: a row per set, and per folder that
  // could not be read.
  void Check(const QString& root);
  // Repairs the sets of every row that is repairable, the row updated after each.
  void RepairAll();
  // Shows the File report of each set of row `row` (checked again first
  // unless it is the set the engine checked last, so that Restore Files
  // works on it), and updates the row from what the report then says.
  void OpenRow(int row);

  // An action runs: Cancel stops it; Repair All, Show Report and Close wait.
  void SetBusy(bool busy);
  // True when a row can be repaired.
  [[nodiscard]] bool Repairable() const;

  QTreeWidget* SetList;
  QPushButton* RepairButton;
  QPushButton* ReportButton;
  QPushButton* CancelButton;
  QPushButton* CloseButton;
  QLabel* RootLabel;
  QStatusBar* StatusBar;

 signals:
  void CancelRequested();
  void RepairAllRequested();
  void OpenRequested(int row);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  struct Row {
    std::string folder;                          // as the engine names it
    std::vector<std::vector<std::string>> sets;  // the volumes of each set of the row
    bool repairable = false;
    bool mended = false;             // its last check or repair found every set intact
    std::vector<SetReport> reports;  // the last of each set, when it was checked
    std::vector<std::string> messages;
  };

  // Empties the list and shows the window for an action on `root`.
  void Start(const QString& title, const QString& root);
  // Adds a row and lets it be painted.
  int AddRow(Row row, const QStringList& texts);
  void SetTexts(int row, const QStringList& texts);
  // The state, files, bytes and details of a checked or repaired set.
  QStringList SetTexts(const std::vector<std::string>& volumes, const QString& state,
                       const SetReport* report, const std::vector<std::string>& messages) const;
  // The sets of `folder` itself (none of the folders below it).
  std::vector<std::vector<std::string>> SetsOf(const std::string& folder);
  // Checks (or repairs) one set of `row` with the reports and messages kept.
  void CheckSet(int row, std::size_t set, bool repair);
  void UpdateButtons();

  Engine& engine_;
  Env& env_;
  WindowInteraction& ui_;
  // The folder as the Folder column shows it: below the chosen one, "."
  // for that one itself (named above the list).
  QString Below(const std::string& folder) const;

  std::vector<Row> rows_;
  std::string root_;
  bool busy_ = false;
  // The row and set the engine checked last (a restore works on it), or -1.
  int lastRow_ = -1;
  std::size_t lastSet_ = 0;
};

}  // namespace tarvel::ui

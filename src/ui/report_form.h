// SPDX-License-Identifier: GPL-3.0-or-later
// "File report": the report of a checked set, and Restore Files, which has
// the engine rebuild the bad files from the parity volumes and show the new
// report here.  Shown modally when the engine shows a report.  Its layout follows its
// outer size W x H on every resize: text box (W - 24) x (H - 120) at 8, 8;
// both buttons at top H - 97, OK at left W div 4 - 65, Restore Files at
// (W div 4) x 3 - 65.
//
// The lines read as the engine made them from the set's report; the window
// only marks them by their kind: the lines of missing, damaged and unchecked
// files and volumes in a warning colour, the totals (of the files and of the
// volumes) in bold, and a name that holds right-to-left text isolated, so
// that " OK" stays at its end.  The notes follow below the lines.  OK is
// the default button.  While a restore runs the report cannot be closed, so
// that its outcome is seen.  Its size and place are kept across runs, and
// it always fits on the screen.
#pragma once

#include <QDialog>
#include <vector>

#include "engine/report.h"

class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace tarvel {
class Engine;
}

namespace tarvel::ui {

class WindowInteraction;

// The colour of the lines of missing and damaged files: a red that stands
// out as well from a light background as from a dark one.
QColor WarningColour(const QPalette& palette);

class TReportform : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kOuterWidth = 409, kOuterHeight = 521;
  static constexpr int kMinOuterWidth = 305, kMinOuterHeight = 231;
  // Where the size and place are kept (QSettings).
  static constexpr char kGeometryKey[] = "reportform/geometry";

  TReportform(Engine& engine, WindowInteraction& ui, QWidget* mainWindow);

  // The report of a set, shown now and whenever the window is shown: its
  // lines (ReportLines), and below them, after an empty line, its notes
  // (ReportNotes) in the warning colour, with, when the volumes are too few
  // to restore, how many more are needed.  The title names the set.
  void Fill(const SetReport& report);
  // The lines and notes themselves.
  void SetLines(const std::vector<ReportLine>& lines, const QStringList& notes = {});
  // "Working..." while a restore runs, else "Ready".
  void SetWorking(bool working);

  QPlainTextEdit* ReportMemo;
  QPushButton* OKButton;
  QPushButton* Restorebutton;
  QStatusBar* StatusBar1;

 public slots:
  // Closes the window, unless a restore runs.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  enum class Mark { kPlain, kDamaged, kTotal };

  void FormShow();
  void FormResize();
  void OKButtonClick();
  void RestorebuttonClick();
  // The window frame's share of the outer size (none on frameless platforms).
  QSize FrameExtra() const;
  // Gives each line of ReportMemo the look of its mark.
  void MarkLines();

  Engine& engine_;
  WindowInteraction& ui_;
  bool sized_ = false;
  bool restoring_ = false;
  std::vector<Mark> marks_;  // one per line of ReportMemo
};

}  // namespace tarvel::ui

// "File report": the report of a checked set, and Restore Files, which has
// the engine rebuild the bad files from the parity volumes and show the new
// report here.  Shown modally when the engine shows a report.  Its layout follows its
// outer size W x H on every resize: text box (W - 24) x (H - 120) at 8, 8;
// both buttons at top H - 97, OK at left W div 4 - 65, Restore Files at
// (W div 4) x 3 - 65.
#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace tarvel {
class Engine;
}

namespace tarvel::ui {

class WindowInteraction;

class TReportform : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kOuterWidth = 409, kOuterHeight = 521;
  static constexpr int kMinOuterWidth = 305, kMinOuterHeight = 231;

  TReportform(Engine& engine, WindowInteraction& ui, QWidget* mainWindow);

  // The report's lines, shown now and whenever the window is shown.
  void SetLines(const QStringList& lines);
  // "Working..." while a restore runs, else "Ready".
  void SetWorking(bool working);

  QPlainTextEdit* ReportMemo;
  QPushButton* OKButton;
  QPushButton* Restorebutton;
  QStatusBar* StatusBar1;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FormShow();
  void FormResize();
  void OKButtonClick();
  void RestorebuttonClick();
  // The window frame's share of the outer size (none on frameless platforms).
  QSize FrameExtra() const;

  Engine& engine_;
  WindowInteraction& ui_;
  bool sized_ = false;
};

}  // namespace tarvel::ui

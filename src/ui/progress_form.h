// SPDX-License-Identifier: GPL-3.0-or-later
// The progress window: what is being done, a bar and its percentage, the
// speed and the time left, and Cancel.  The engine drives it through the
// window interaction; it has no logic of its own.  Cancel, Escape and the
// close box all ask the action to stop (CancelRequested); the window itself
// stays until the action ends.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarvel::ui {

class TProgressForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TProgressForm1(QWidget* mainWindow);

  void SetWhat(const QString& text);
  // 0..100 on the bar and as "N%"; -1 empties the bar and the text.
  void SetPercent(int percent);
  // The line under the bar: speed and time left, or nothing.
  void SetPace(const QString& text);
  // Ready for an action: Cancel enabled, no pace shown.
  void Restart();
  // The volumes are being finished (their control digests written, each
  // put on the disk): a stop then waits for the volume at hand.
  void SetFinishing(bool finishing) { finishing_ = finishing; }
  // The action is asked to stop: Cancel disabled and, painted at once in
  // place of the pace, "Stopping...", or while the volumes are finished,
  // that the one at hand is finished first.
  void ShowStopping();

  QLabel* whatlabel;
  QProgressBar* ProgressBar1;
  QLabel* percentlabel;
  QLabel* pacelabel;
  QPushButton* CancelButton;

 signals:
  // Cancel, Escape or the close box, once per action.
  void CancelRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CancelButtonClick();

  bool finishing_ = false;
};

}  // namespace tarvel::ui

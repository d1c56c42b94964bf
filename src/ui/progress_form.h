// The progress window: what is being done, a bar and its percentage.  The
// engine drives it through the window interaction; it has no logic of its
// own, no title-bar buttons, and the user cannot close it.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace tarvel::ui {

class TProgressForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TProgressForm1(QWidget* mainWindow);

  void SetWhat(const QString& text);
  // 0..100 on the bar and as "N%"; -1 empties the bar and the text.
  void SetPercent(int percent);

  QLabel* whatlabel;
  QProgressBar* ProgressBar1;
  QLabel* percentlabel;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace tarvel::ui

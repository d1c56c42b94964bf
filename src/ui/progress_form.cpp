#include "ui/progress_form.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

#include "ui/layout.h"

namespace tarvel::ui {

TProgressForm1::TProgressForm1(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("ProgressForm1");
  setWindowTitle(tr("Working..."));
  setFixedSize(306, 121);
  // An error can leave it up; it must not keep the program running after
  // the main window has been closed.
  setAttribute(Qt::WA_QuitOnClose, false);

  whatlabel = new QLabel(this);
  whatlabel->setObjectName("whatlabel");
  whatlabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  whatlabel->setWordWrap(true);
  whatlabel->setGeometry(8, 16, 289, 41);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setGeometry(0, 72, 305, 20);

  percentlabel = new QLabel(this);
  percentlabel->setObjectName("percentlabel");
  percentlabel->setAlignment(Qt::AlignCenter);
  percentlabel->setGeometry(116, 96, 75, 16);
}

void TProgressForm1::SetWhat(const QString& text) {
  if (whatlabel->text() == text) return;
  // Each text gets the font size at which it fits, so a long file name is
  // shown whole.
  whatlabel->setFont(font());
  whatlabel->setText(text);
  FitFont(whatlabel);
}

void TProgressForm1::SetPercent(int percent) {
  if (percent < 0) {
    ProgressBar1->setValue(0);
    percentlabel->clear();
    return;
  }
  if (ProgressBar1->value() == percent && !percentlabel->text().isEmpty()) return;
  ProgressBar1->setValue(percent);
  percentlabel->setText(QString::number(percent) + "%");
}

void TProgressForm1::closeEvent(QCloseEvent* event) { event->ignore(); }

void TProgressForm1::keyPressEvent(QKeyEvent* event) { event->ignore(); }

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress_form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "ui/layout.h"

namespace tarvel::ui {
namespace {

// The window of the given layout, grown by the pace line and Cancel.
constexpr int kWidth = 306, kHeight = 170;

}  // namespace

TProgressForm1::TProgressForm1(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowCloseButtonHint) {
  setObjectName("ProgressForm1");
  setWindowTitle(tr("Working..."));
  setFixedSize(kWidth, kHeight);
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
  ProgressBar1->setAccessibleName(tr("Progress"));
  ProgressBar1->setGeometry(0, 72, 305, 20);

  percentlabel = new QLabel(this);
  percentlabel->setObjectName("percentlabel");
  percentlabel->setAlignment(Qt::AlignCenter);
  percentlabel->setGeometry(116, 96, 75, 16);

  pacelabel = new QLabel(this);
  pacelabel->setObjectName("pacelabel");
  pacelabel->setAlignment(Qt::AlignCenter);
  pacelabel->setGeometry(8, 114, 289, 16);

  CancelButton = new QPushButton(tr("&Cancel"), this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setAutoDefault(false);
  Place(CancelButton, 115, 136, 75, 25);
  connect(CancelButton, &QPushButton::clicked, this, &TProgressForm1::CancelButtonClick);
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

void TProgressForm1::SetPace(const QString& text) {
  if (!CancelButton->isEnabled()) return;  // it says the action is stopping
  if (pacelabel->text() != text) pacelabel->setText(text);
}

void TProgressForm1::Restart() {
  CancelButton->setEnabled(true);
  finishing_ = false;
  pacelabel->clear();
}

void TProgressForm1::ShowStopping() {
  CancelButton->setEnabled(false);
  pacelabel->setFont(font());
  pacelabel->setText(finishing_ ? tr("Stopping... the volume at hand is finished first.")
                                : tr("Stopping..."));
  FitFont(pacelabel);
  // Painted now: the engine may not let events run again for a moment.
  if (isVisible()) repaint();
}

void TProgressForm1::CancelButtonClick() {
  if (!CancelButton->isEnabled()) return;
  ShowStopping();
  emit CancelRequested();
}

void TProgressForm1::closeEvent(QCloseEvent* event) {
  // The window goes when the action has stopped, not before.
  event->ignore();
  CancelButtonClick();
}

void TProgressForm1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    CancelButtonClick();
    return;
  }
  event->ignore();
}

}  // namespace tarvel::ui

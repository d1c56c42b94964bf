// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the picture of a stack of volumes, the program's name and
// version, credits and thanks.  Shown modally by the main window; OK is the
// default button, and Escape closes the box as OK does.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvel::ui {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* mainWindow);

  QWidget* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QPushButton* OKButton;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace tarvel::ui

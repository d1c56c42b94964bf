// SPDX-License-Identifier: GPL-3.0-or-later
// "Include this?": asked while creating for a small description or checksum
// file.  Owns its answer, IncludeAnswer: true only after "Include in parity";
// every use starts with false, so the close box keeps the file digest-only.
// "Only include in CRC", the recommended answer, is the default button and
// the one that Escape presses.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvel::ui {

class TIncludeform : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kWidth = 336, kHeight = 188;

  explicit TIncludeform(QWidget* mainWindow);

  // The prompt for the file `name` of `size` bytes: a long name widens the
  // prompt, up to the screen, and is elided in the middle beyond that; the
  // whole name is Label1's tooltip.
  void SetIncludeFile(const QString& name, qint64 size);
  bool IncludeAnswer() const { return includeAnswer_; }

  QLabel* Label1;
  QLabel* Label2;
  QPushButton* dinc;
  QPushButton* inc;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void dincClick();
  void incClick();

  bool includeAnswer_ = false;
};

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// "File search": asked while checking when a missing file of the set was
// found in the set folder under another name.  It returns the button and
// the state of "don't ask again for this set"; the engine renames or copies
// and keeps the standing answer.  Escape answers Cancel, as the Cancel
// button does; the close box leaves this match alone and the answer
// unchanged.
#pragma once

#include <QDialog>

#include "engine/interaction.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarvel::ui {

class TRenameform : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kWidth = 335, kHeight = 246;

  explicit TRenameform(QWidget* mainWindow);

  // Shows the found file and the missing file's name: long names widen the
  // dialog, up to the screen, and are elided in the middle beyond that; each
  // label's tooltip is its whole name.
  void SetRenameFiles(const QString& found, const QString& missing);
  // Unticks "don't ask again for this set"; done at the start of every search.
  void ResetRenameAnswer();
  // Shows the dialog modally and returns what the user chose.
  RenameReply Ask();

  QLabel* Label4;
  QLabel* Label1;
  QLabel* Label5;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* RenameButton;
  QPushButton* Copybutton;
  QPushButton* Cancelbutton;
  QCheckBox* dontaskbox;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Answer(::tarvel::RenameButton button);

  ::tarvel::RenameButton button_ = ::tarvel::RenameButton::kClosed;
};

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// "Restore": asked per file before it is rebuilt.  Returns the button and
// the state of "don't ask again for this set"; the engine keeps
// RestoreAnswer.  A second line under the name says why the file is
// rebuilt: it is missing, or a damaged copy is replaced, or it changed
// after the set was made.  Yes is the default button and has the keys each
// time the prompt shows, whatever was pressed the time before; only for a
// file that changed after the set is No the default.  Escape answers No,
// as the No button does, while the close box leaves the answer unchanged.
#pragma once

#include <QDialog>

#include "engine/interaction.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarvel::ui {

class Trestoreform : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kWidth = 280, kHeight = 135;

  explicit Trestoreform(QWidget* mainWindow);

  // Unticks "don't ask again for this set"; done before each restore run.
  void ResetRestoreAnswer();
  // Shows "Restore " + name + " ?": a long name widens the prompt, up to
  // the screen, and is elided in the middle beyond that; the whole name is
  // the label's tooltip.
  void SetFileName(const QString& name);
  // Why the file is rebuilt, the second line under the name.
  enum class Reason { kMissing, kDamaged, kChangedAfterSet };
  void SetReason(Reason reason);
  // Shows the prompt for `name` modally and returns what the user chose.
  RestoreReply Ask(const QString& name, Reason reason = Reason::kMissing);

  QLabel* Label1;
  QLabel* reasonlabel;
  QPushButton* yesbutton;
  QPushButton* nobutton;
  QCheckBox* dontaskbox;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Answer(RestoreButton button);

  // Moves the buttons and the box below the label lines.
  void PlaceButtons();
  QPushButton* DefaultButton() const;

  RestoreButton button_ = RestoreButton::kClosed;
  int grown_ = 0;  // how much wider the name made the prompt
};

}  // namespace tarvel::ui

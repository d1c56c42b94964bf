// SPDX-License-Identifier: GPL-3.0-or-later
// "Restore": asked per file before it is rebuilt.  Returns the button and
// the state of "don't ask again for this set"; the engine keeps
// RestoreAnswer.  Yes is the default button, but for a file that changed
// after the set was made, of which a second line tells and for which No is
// the default; Escape answers No, as the No button does, while the close
// box leaves the answer unchanged.
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
  // The second line, under the name: shown, and the prompt made taller by
  // it, for a file that changed after the set was made.
  void SetChangedAfterSet(bool changed);
  // Shows the prompt for `name` modally and returns what the user chose.
  RestoreReply Ask(const QString& name, bool changedAfterSet = false);

  QLabel* Label1;
  QLabel* changedlabel;
  QPushButton* yesbutton;
  QPushButton* nobutton;
  QCheckBox* dontaskbox;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Answer(RestoreButton button);

  // Moves the buttons and the box below the label lines.
  void PlaceButtons();

  RestoreButton button_ = RestoreButton::kClosed;
  int grown_ = 0;  // how much wider the name made the prompt
  int extra_ = 0;  // how much taller the second line made it
};

}  // namespace tarvel::ui

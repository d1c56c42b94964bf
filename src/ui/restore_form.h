// "Restore": asked per file before it is rebuilt.  Returns the button and
// the state of "don't ask again for this set"; the engine keeps
// RestoreAnswer.
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
  explicit Trestoreform(QWidget* mainWindow);

  // Unticks "don't ask again for this set"; done before each restore run.
  void ResetRestoreAnswer();
  // Shows "Restore " + name + " ?" modally and returns what the user chose.
  RestoreReply Ask(const QString& name);

  QLabel* Label1;
  QPushButton* yesbutton;
  QPushButton* nobutton;
  QCheckBox* dontaskbox;

 private:
  void Answer(RestoreButton button);

  RestoreButton button_ = RestoreButton::kClosed;
};

}  // namespace tarvel::ui

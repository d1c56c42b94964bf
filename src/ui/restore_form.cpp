#include "ui/restore_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "ui/layout.h"

namespace tarvel::ui {

Trestoreform::Trestoreform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("restoreform");
  setWindowTitle(tr("Restore"));
  setFixedSize(280, 135);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setGeometry(16, 8, 249, 41);

  yesbutton = new QPushButton(tr("Yes"), this);
  yesbutton->setObjectName("yesbutton");
  Place(yesbutton, 40, 64, 75, 25);
  nobutton = new QPushButton(tr("No"), this);
  nobutton->setObjectName("nobutton");
  Place(nobutton, 160, 64, 75, 25);
  dontaskbox = new QCheckBox(tr("don't ask again for this set"), this);
  dontaskbox->setObjectName("dontaskbox");
  Place(dontaskbox, 45, 104, 185, 17);

  connect(yesbutton, &QPushButton::clicked, this, [this] { Answer(RestoreButton::kYes); });
  connect(nobutton, &QPushButton::clicked, this, [this] { Answer(RestoreButton::kNo); });
}

void Trestoreform::ResetRestoreAnswer() { dontaskbox->setChecked(false); }

RestoreReply Trestoreform::Ask(const QString& name) {
  Label1->setFont(font());
  Label1->setText(tr("Restore ") + name + tr(" ?"));
  FitFont(Label1);
  button_ = RestoreButton::kClosed;
  exec();
  return {button_, dontaskbox->isChecked()};
}

void Trestoreform::Answer(RestoreButton button) {
  button_ = button;
  accept();
}

}  // namespace tarvel::ui

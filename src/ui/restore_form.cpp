// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/restore_form.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/fit.h"
#include "ui/layout.h"

namespace tarvel::ui {
namespace {

constexpr int kLabelLeft = 16, kLabelTop = 8, kLabelWidth = 249, kLabelHeight = 41;
// The second line sits under the name and makes the prompt this much taller.
constexpr int kChangedTop = kLabelTop + kLabelHeight, kChangedHeight = 34;

}  // namespace

Trestoreform::Trestoreform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("restoreform");
  setWindowTitle(tr("Restore"));
  setFixedSize(kWidth, kHeight);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);  // a name is never markup
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  Label1->setGeometry(kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight);

  yesbutton = new QPushButton(tr("&Yes"), this);
  yesbutton->setObjectName("yesbutton");
  yesbutton->setDefault(true);
  Place(yesbutton, 40, 64, 75, 25);
  nobutton = new QPushButton(tr("&No"), this);
  nobutton->setObjectName("nobutton");
  Place(nobutton, 160, 64, 75, 25);
  dontaskbox = new QCheckBox(tr("don't ask again for this set"), this);
  dontaskbox->setObjectName("dontaskbox");
  Place(dontaskbox, 45, 104, 185, 17);

  changedlabel = new QLabel(
      tr("It changed after the set was made: restoring puts back the older content."), this);
  changedlabel->setObjectName("changedlabel");
  changedlabel->setWordWrap(true);
  changedlabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  changedlabel->setGeometry(kLabelLeft, kChangedTop, kLabelWidth, kChangedHeight);
  changedlabel->hide();

  connect(yesbutton, &QPushButton::clicked, this, [this] { Answer(RestoreButton::kYes); });
  connect(nobutton, &QPushButton::clicked, this, [this] { Answer(RestoreButton::kNo); });
}

void Trestoreform::ResetRestoreAnswer() { dontaskbox->setChecked(false); }

void Trestoreform::SetFileName(const QString& name) {
  Label1->setFont(font());
  const auto text = [](const QString& shown) { return tr("Restore ") + shown + tr(" ?"); };
  const FittedName fit = FitName(Label1->font(), name, text, {kLabelWidth, kLabelHeight},
                                 WidestClient(this) - (kWidth - kLabelWidth));
  // Everything in the prompt is centred: a wider prompt moves the buttons
  // and the box by half of what it grew.
  grown_ = fit.width - kLabelWidth;
  Label1->setGeometry(kLabelLeft, kLabelTop, fit.width, kLabelHeight);
  changedlabel->setGeometry(kLabelLeft, kChangedTop, fit.width, kChangedHeight);
  PlaceButtons();
  Label1->setText(text(fit.name));
  Label1->setToolTip(PlainTip(name));
  FitFont(Label1);
}

void Trestoreform::SetChangedAfterSet(bool changed) {
  extra_ = changed ? kChangedHeight : 0;
  changedlabel->setVisible(changed);
  FitFont(changedlabel);
  PlaceButtons();
  // A person's newer work is not taken back by a mere Enter.
  yesbutton->setDefault(!changed);
  nobutton->setDefault(changed);
}

void Trestoreform::PlaceButtons() {
  const int shift = grown_ / 2;
  setFixedSize(kWidth + grown_, kHeight + extra_);
  yesbutton->move(40 + shift, 64 + extra_);
  nobutton->move(160 + shift, 64 + extra_);
  dontaskbox->move(45 + shift, 104 + extra_);
}

RestoreReply Trestoreform::Ask(const QString& name, bool changedAfterSet) {
  SetFileName(name);
  SetChangedAfterSet(changedAfterSet);
  // The keys go to the default button, whatever had them before.
  (changedAfterSet ? nobutton : yesbutton)->setFocus();
  button_ = RestoreButton::kClosed;
  exec();
  return {button_, dontaskbox->isChecked()};
}

void Trestoreform::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    nobutton->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void Trestoreform::Answer(RestoreButton button) {
  button_ = button;
  accept();
}

}  // namespace tarvel::ui

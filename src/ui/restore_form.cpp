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
constexpr int kReasonTop = kLabelTop + kLabelHeight, kReasonHeight = 34;

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
  dontaskbox = new QCheckBox(tr("&don't ask again for this set"), this);
  dontaskbox->setObjectName("dontaskbox");
  Place(dontaskbox, 45, 104, 185, 17);

  reasonlabel = new QLabel(this);
  reasonlabel->setObjectName("reasonlabel");
  reasonlabel->setWordWrap(true);
  reasonlabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  reasonlabel->setGeometry(kLabelLeft, kReasonTop, kLabelWidth, kReasonHeight);
  PlaceButtons();

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
  reasonlabel->setGeometry(kLabelLeft, kReasonTop, fit.width, kReasonHeight);
  PlaceButtons();
  Label1->setText(text(fit.name));
  Label1->setToolTip(PlainTip(name));
  FitFont(Label1);
}

void Trestoreform::SetReason(Reason reason) {
  const bool changed = reason == Reason::kChangedAfterSet;
  reasonlabel->setFont(font());
  reasonlabel->setText(
      changed ? tr("It changed after the set was made: restoring puts back the older content.")
      : reason == Reason::kDamaged
          ? tr("It is damaged: restoring replaces the damaged copy.")
          : tr("It is missing: restoring rebuilds it from the parity volumes."));
  FitFont(reasonlabel);
  // A person's newer work is not taken back by a mere Enter.
  yesbutton->setDefault(!changed);
  nobutton->setDefault(changed);
}

QPushButton* Trestoreform::DefaultButton() const {
  return nobutton->isDefault() ? nobutton : yesbutton;
}

void Trestoreform::PlaceButtons() {
  const int shift = grown_ / 2;
  setFixedSize(kWidth + grown_, kHeight + kReasonHeight);
  yesbutton->move(40 + shift, 64 + kReasonHeight);
  nobutton->move(160 + shift, 64 + kReasonHeight);
  dontaskbox->move(45 + shift, 104 + kReasonHeight);
}

RestoreReply Trestoreform::Ask(const QString& name, Reason reason) {
  SetFileName(name);
  SetReason(reason);
  button_ = RestoreButton::kClosed;
  exec();
  return {button_, dontaskbox->isChecked()};
}

void Trestoreform::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // The keys go to the default button, whatever had them when the prompt
  // was last up (a No clicked, a Tab): Enter is always the answer the
  // prompt offers.
  DefaultButton()->setFocus(Qt::OtherFocusReason);
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

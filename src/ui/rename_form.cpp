// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/rename_form.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <tuple>

#include "ui/fit.h"
#include "ui/layout.h"

namespace tarvel::ui {
namespace {

// The two name labels: the missing file's name and the found file.
constexpr int kMissingLeft = 23, kMissingTop = 32, kMissingWidth = 290, kMissingHeight = 33;
constexpr int kFoundLeft = 24, kFoundTop = 96, kFoundWidth = 289, kFoundHeight = 41;
constexpr int kButtonTop = 176, kRenameLeft = 26, kCopyLeft = 130, kCancelLeft = 234;
constexpr int kQuestionLeft = 58, kQuestionTop = 144, kBoxLeft = 78, kBoxTop = 216;

}  // namespace

TRenameform::TRenameform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("Renameform");
  setWindowTitle(tr("File search"));
  setFixedSize(kWidth, kHeight);

  const auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  Label4 = label("Label4", tr("Missing file:"));
  PlaceAutoSized(Label4, 24, 8);
  Label1 = label("Label1", QString());
  Label1->setTextFormat(Qt::PlainText);  // a name is never markup
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setGeometry(kMissingLeft, kMissingTop, kMissingWidth, kMissingHeight);
  Label5 = label("Label5", tr("File with same content:"));
  PlaceAutoSized(Label5, 24, 72);
  Label2 = label("Label2", QString());
  Label2->setTextFormat(Qt::PlainText);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label2->setGeometry(kFoundLeft, kFoundTop, kFoundWidth, kFoundHeight);
  Label3 = label("Label3", tr("Do you wish to copy/rename the file?"));
  PlaceAutoSized(Label3, kQuestionLeft, kQuestionTop);

  const auto button = [this](const char* name, const QString& text, int x,
                             ::tarvel::RenameButton answer) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    Place(b, x, kButtonTop, 75, 25);
    connect(b, &QPushButton::clicked, this, [this, answer] { Answer(answer); });
    return b;
  };
  // Copy and Cancel cannot both have C: Alt+C would then only move the
  // focus between them.  Cancel is also Escape.
  RenameButton =
      button("RenameButton", tr("&Rename"), kRenameLeft, ::tarvel::RenameButton::kRename);
  Copybutton = button("Copybutton", tr("&Copy"), kCopyLeft, ::tarvel::RenameButton::kCopy);
  Cancelbutton =
      button("Cancelbutton", tr("C&ancel"), kCancelLeft, ::tarvel::RenameButton::kCancel);

  dontaskbox = new QCheckBox(tr("&don't ask again for this set"), this);
  dontaskbox->setObjectName("dontaskbox");
  Place(dontaskbox, kBoxLeft, kBoxTop, 178, 17);
}

void TRenameform::SetRenameFiles(const QString& found, const QString& missing) {
  const auto alone = [](const QString& shown) { return shown; };
  const int widest = WidestClient(this);
  const FittedName missingFit = FitName(font(), missing, alone, {kMissingWidth, kMissingHeight},
                                        widest - (kWidth - kMissingWidth));
  const FittedName foundFit =
      FitName(font(), found, alone, {kFoundWidth, kFoundHeight}, widest - (kWidth - kFoundWidth));
  // The headings keep their left edge; the question, the buttons and the
  // box, centred in the dialog, move by half of what it grew.
  const int grown = std::max(missingFit.width - kMissingWidth, foundFit.width - kFoundWidth),
            shift = grown / 2;
  setFixedSize(kWidth + grown, kHeight);
  Label1->setGeometry(kMissingLeft, kMissingTop, kMissingWidth + grown, kMissingHeight);
  Label2->setGeometry(kFoundLeft, kFoundTop, kFoundWidth + grown, kFoundHeight);
  Label3->move(kQuestionLeft + shift, kQuestionTop);
  RenameButton->move(kRenameLeft + shift, kButtonTop);
  Copybutton->move(kCopyLeft + shift, kButtonTop);
  Cancelbutton->move(kCancelLeft + shift, kButtonTop);
  dontaskbox->move(kBoxLeft + shift, kBoxTop);
  for (const auto& [l, fit, name] :
       {std::tuple{Label1, missingFit, missing}, std::tuple{Label2, foundFit, found}}) {
    l->setFont(font());
    l->setText(fit.name);
    l->setToolTip(PlainTip(name));
    FitFont(l);
  }
}

void TRenameform::ResetRenameAnswer() { dontaskbox->setChecked(false); }

RenameReply TRenameform::Ask() {
  button_ = ::tarvel::RenameButton::kClosed;
  exec();
  return {button_, dontaskbox->isChecked()};
}

void TRenameform::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    Cancelbutton->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TRenameform::Answer(::tarvel::RenameButton button) {
  button_ = button;
  accept();
}

}  // namespace tarvel::ui

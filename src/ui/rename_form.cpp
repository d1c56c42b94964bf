#include "ui/rename_form.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "ui/layout.h"

namespace tarvel::ui {

TRenameform::TRenameform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("Renameform");
  setWindowTitle(tr("File search"));
  setFixedSize(335, 246);

  const auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  Label4 = label("Label4", tr("Missing file:"));
  PlaceAutoSized(Label4, 24, 8);
  Label1 = label("Label1", QString());
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setGeometry(23, 32, 290, 33);
  Label5 = label("Label5", tr("File with same content:"));
  PlaceAutoSized(Label5, 24, 72);
  Label2 = label("Label2", QString());
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label2->setGeometry(24, 96, 289, 41);
  Label3 = label("Label3", tr("Do you wish to copy/rename the file?"));
  PlaceAutoSized(Label3, 58, 144);

  const auto button = [this](const char* name, const QString& text, int x,
                             ::tarvel::RenameButton answer) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    Place(b, x, 176, 75, 25);
    connect(b, &QPushButton::clicked, this, [this, answer] { Answer(answer); });
    return b;
  };
  RenameButton = button("RenameButton", tr("Rename"), 26, ::tarvel::RenameButton::kRename);
  Copybutton = button("Copybutton", tr("Copy"), 130, ::tarvel::RenameButton::kCopy);
  Cancelbutton = button("Cancelbutton", tr("Cancel"), 234, ::tarvel::RenameButton::kCancel);

  dontaskbox = new QCheckBox(tr("don't ask again for this set"), this);
  dontaskbox->setObjectName("dontaskbox");
  Place(dontaskbox, 78, 216, 178, 17);
}

void TRenameform::SetRenameFiles(const QString& found, const QString& missing) {
  for (auto [l, text] : {std::pair{Label1, missing}, std::pair{Label2, found}}) {
    l->setFont(font());
    l->setText(text);
    FitFont(l);
  }
}

void TRenameform::ResetRenameAnswer() { dontaskbox->setChecked(false); }

RenameReply TRenameform::Ask() {
  button_ = ::tarvel::RenameButton::kClosed;
  exec();
  return {button_, dontaskbox->isChecked()};
}

void TRenameform::Answer(::tarvel::RenameButton button) {
  button_ = button;
  accept();
}

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/properties_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/choices.h"
#include "ui/layout.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {
namespace {

constexpr int kCaptionLeft = 16;
constexpr int kValueLeft = 176;
constexpr int kValueWidth = 113;
constexpr int kRowHeight = 17;
// The line naming the volumes, under the file name: two lines of text.
constexpr int kVolumesHeight = 36;

QString KByte(std::int64_t bytes) { return QString::number(bytes / 1024) + QObject::tr(" kByte"); }
QString Percent(std::int64_t value) { return QString::number(value) + QObject::tr(" %"); }

}  // namespace

ParitySpinEdit::ParitySpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(1, kMostSetFiles);
  setValue(1);
  setWrapping(false);
}

TPropertiesForm::TPropertiesForm(WindowInteraction& ui, QWidget* mainWindow)
    : QDialog(mainWindow), ui_(ui) {
  setObjectName("PropertiesForm");
  setWindowTitle(tr("Parity Properties"));
  setFixedSize(305, 325 + kVolumesHeight);

  const auto caption = [this](const char* name, const QString& text, int y) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    Place(l, kCaptionLeft, y, kValueLeft - kCaptionLeft - 8, kRowHeight);
    return l;
  };
  const auto value = [this](const char* name, int y) {
    auto* l = new QLabel(this);
    l->setObjectName(name);
    l->setGeometry(kValueLeft, y, kValueWidth, kRowHeight);
    return l;
  };
  Filesnaminglabel = caption("Filesnaminglabel", tr("Number of files:"), 16);
  numberlabel = value("numberlabel", 16);
  biggestnaminglabel = caption("biggestnaminglabel", tr("Size of biggest file:"), 40);
  biggestlabel = value("biggestlabel", 40);
  overallnaminglabel = caption("overallnaminglabel", tr("Overall Size:"), 64);
  overalllabel = value("overalllabel", 64);

  // The two controls a person sets have their captions as labels, with
  // mnemonics, and are named by them for a screen reader.
  pnumnaminglabel = caption("pnumnaminglabel", tr("&Number of parity files"), 100);
  pnumEdit = new ParitySpinEdit(this);
  pnumEdit->setObjectName("pnumEdit");
  pnumEdit->setAccessibleName(tr("Number of parity files"));
  pnumnaminglabel->setBuddy(pnumEdit);
  pnumEdit->setGeometry(kValueLeft, 96, 65, 24);

  psizenaminglabel = caption("psizenaminglabel", tr("Avg. size of parity data:"), 136);
  psizelabel = value("psizelabel", 136);
  frnaminglabel = caption("frnaminglabel", tr("File redundancy:"), 160);
  frlabel = value("frlabel", 160);
  drnaminglabel = caption("drnaminglabel", tr("Data redundancy:"), 184);
  drlabel = value("drlabel", 184);

  filenaminglabel = caption("filenaminglabel", tr("&Filename:"), 216);
  filenameEdit = new QLineEdit(this);
  filenameEdit->setObjectName("filenameEdit");
  filenameEdit->setAccessibleName(tr("Filename"));
  filenaminglabel->setBuddy(filenameEdit);
  filenameEdit->setGeometry(kCaptionLeft, 236, 273, 24);
  // Where the volumes go and what they are called, as the choice stands.
  volumeslabel = new QLabel(this);
  volumeslabel->setObjectName("volumeslabel");
  volumeslabel->setTextFormat(Qt::PlainText);
  volumeslabel->setWordWrap(true);
  volumeslabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  volumeslabel->setGeometry(kCaptionLeft, 264, 273, kVolumesHeight);

  OK = new QPushButton(tr("&OK"), this);
  OK->setObjectName("OK");
  Place(OK, 40, 276 + kVolumesHeight, 97, 33);
  Cancel = new QPushButton(tr("&Cancel"), this);
  Cancel->setObjectName("Cancel");
  Place(Cancel, 168, 276 + kVolumesHeight, 97, 33);
  OK->setAutoDefault(false);
  Cancel->setAutoDefault(false);
  // Enter anywhere (after typing the name or the number) is OK; Escape is
  // Cancel.
  OK->setDefault(true);

  setTabOrder(pnumEdit, filenameEdit);
  setTabOrder(filenameEdit, OK);
  setTabOrder(OK, Cancel);

  connect(pnumEdit, &QSpinBox::valueChanged, this, &TPropertiesForm::pnumEditChange);
  connect(filenameEdit, &QLineEdit::textChanged, this, &TPropertiesForm::filenameEditChange);
  connect(OK, &QPushButton::clicked, this, &TPropertiesForm::OKClick);
  connect(Cancel, &QPushButton::clicked, this, &TPropertiesForm::CancelClick);
}

std::string TPropertiesForm::BaseName() const { return WindowInteraction::Bytes(baseName_); }

SetChoice TPropertiesForm::Ask(const SetProposal& proposal) {
  Propose(proposal);
  exec();
  return {accepted_, parityCount_, BaseName()};
}

void TPropertiesForm::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
  pnumEdit->setFocus();
}

void TPropertiesForm::FormShow() {
  accepted_ = false;
  ShowAnalysis();
  // The default is brought into this set's bounds at once, so the number
  // shown is always one the set may have.
  SetBounds();
  {
    const QSignalBlocker quiet(pnumEdit);
    pnumEdit->setValue(proposal_.defaultVolumes);
  }
  parityCount_ = pnumEdit->value();
  ShowCosts();
  baseName_ = WindowInteraction::Text(proposal_.defaultBaseName);
  filenameEdit->setText(baseName_);
  ShowVolumes();
}

void TPropertiesForm::pnumEditChange() {
  accepted_ = false;
  ShowAnalysis();
  parityCount_ = pnumEdit->value();
  SetBounds();
  ShowCosts();
  ShowVolumes();
}

void TPropertiesForm::filenameEditChange() {
  baseName_ = filenameEdit->text();
  ShowVolumes();
}

void TPropertiesForm::ShowVolumes() {
  const QString text = WindowInteraction::VolumesText(baseName_, parityCount_, QLatin1Char('\n'));
  volumeslabel->setText(text);
  volumeslabel->setToolTip(text);
  volumeslabel->setFont(font());
  FitFont(volumeslabel);
}

void TPropertiesForm::ShowAnalysis() {
  numberlabel->setText(QString::number(proposal_.fileCount));
  biggestlabel->setText(KByte(proposal_.biggestFileSize));
  overalllabel->setText(KByte(proposal_.totalSize));
}

void TPropertiesForm::SetBounds() {
  const QSignalBlocker quiet(pnumEdit);
  pnumEdit->setRange(proposal_.fewestVolumes, proposal_.mostVolumes);
}

void TPropertiesForm::ShowCosts() {
  const std::int64_t p = parityCount_;
  const std::int64_t n = std::max<std::int64_t>(proposal_.fileCount, 1);
  psizelabel->setText(KByte(proposal_.biggestFileSize * p));
  frlabel->setText(Percent(p * 100 / n));
  // With no data in parity there is nothing to relate the parity data to;
  // the engine refuses such a set before this dialog opens.
  drlabel->setText(proposal_.totalSize > 0
                       ? Percent(proposal_.biggestFileSize * p * 100 / proposal_.totalSize)
                       : QStringLiteral("-"));
}

void TPropertiesForm::OKClick() {
  const std::string refusal =
      proposal_.refusal ? proposal_.refusal(parityCount_, BaseName()) : std::string();
  if (!refusal.empty()) {
    ui_.ShowMessage(WindowInteraction::Shown(refusal), QMessageBox::NoIcon, this);
    return;
  }
  accepted_ = true;
  accept();
}

void TPropertiesForm::CancelClick() {
  accepted_ = false;
  reject();
}

}  // namespace tarvel::ui

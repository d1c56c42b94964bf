#include "ui/properties_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine/create_rules.h"
#include "ui/layout.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {
namespace {

constexpr int kCaptionLeft = 16;
constexpr int kValueLeft = 176;
constexpr int kValueWidth = 113;
constexpr int kRowHeight = 17;

QString KByte(std::int64_t bytes) { return QString::number(bytes / 1024) + QObject::tr(" kByte"); }
QString Percent(std::int64_t value) { return QString::number(value) + QObject::tr(" %"); }

}  // namespace

ParitySpinEdit::ParitySpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(1, 250);
  setValue(1);
  setWrapping(false);
  // Only the buttons and the arrow keys change the number.
  lineEdit()->setReadOnly(true);
  setContextMenuPolicy(Qt::NoContextMenu);
}

void ParitySpinEdit::focusInEvent(QFocusEvent* event) {
  QSpinBox::focusInEvent(event);
  lineEdit()->deselect();
}

TPropertiesForm::TPropertiesForm(const SetModel& model, Env& env, WindowInteraction& ui,
                                 QWidget* mainWindow)
    : QDialog(mainWindow), model_(model), env_(env), ui_(ui) {
  setObjectName("PropertiesForm");
  setWindowTitle(tr("Parity Properties"));
  setFixedSize(305, 325);

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

  pnumnaminglabel = caption("pnumnaminglabel", tr("Number of parity files"), 100);
  pnumEdit = new ParitySpinEdit(this);
  pnumEdit->setObjectName("pnumEdit");
  pnumEdit->setGeometry(kValueLeft, 96, 65, 24);

  psizenaminglabel = caption("psizenaminglabel", tr("Avg. size of parity data:"), 136);
  psizelabel = value("psizelabel", 136);
  frnaminglabel = caption("frnaminglabel", tr("File redundancy:"), 160);
  frlabel = value("frlabel", 160);
  drnaminglabel = caption("drnaminglabel", tr("Data redundancy:"), 184);
  drlabel = value("drlabel", 184);

  filenaminglabel = caption("filenaminglabel", tr("Filename:"), 216);
  filenameEdit = new QLineEdit(this);
  filenameEdit->setObjectName("filenameEdit");
  filenameEdit->setGeometry(kCaptionLeft, 236, 273, 24);

  OK = new QPushButton(tr("OK"), this);
  OK->setObjectName("OK");
  Place(OK, 40, 276, 97, 33);
  Cancel = new QPushButton(tr("Cancel"), this);
  Cancel->setObjectName("Cancel");
  Place(Cancel, 168, 276, 97, 33);
  OK->setAutoDefault(false);
  Cancel->setAutoDefault(false);

  setTabOrder(pnumEdit, filenameEdit);
  setTabOrder(filenameEdit, OK);
  setTabOrder(OK, Cancel);

  connect(pnumEdit, &QSpinBox::valueChanged, this, &TPropertiesForm::pnumEditChange);
  connect(filenameEdit, &QLineEdit::textChanged, this, &TPropertiesForm::filenameEditChange);
  connect(OK, &QPushButton::clicked, this, &TPropertiesForm::OKClick);
  connect(Cancel, &QPushButton::clicked, this, &TPropertiesForm::CancelClick);
}

std::string TPropertiesForm::BaseName() const { return WindowInteraction::Bytes(baseName_); }

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
    pnumEdit->setValue(model_.FileCount / 10 + 1);
  }
  parityCount_ = pnumEdit->value();
  ShowCosts();
  baseName_ = WindowInteraction::Text(DefaultBaseName(model_.FileTable[0].name));
  filenameEdit->setText(baseName_);
}

void TPropertiesForm::pnumEditChange() {
  accepted_ = false;
  ShowAnalysis();
  parityCount_ = pnumEdit->value();
  SetBounds();
  ShowCosts();
}

void TPropertiesForm::filenameEditChange() { baseName_ = filenameEdit->text(); }

void TPropertiesForm::ShowAnalysis() {
  numberlabel->setText(QString::number(model_.FileCount));
  biggestlabel->setText(KByte(model_.BiggestFileSize));
  overalllabel->setText(KByte(model_.TotalSize));
}

void TPropertiesForm::SetBounds() {
  const ParityCountBounds bounds = ParityCountBoundsFor(model_.FileCount);
  const QSignalBlocker quiet(pnumEdit);
  pnumEdit->setRange(bounds.min, bounds.max);
}

void TPropertiesForm::ShowCosts() {
  const std::int64_t p = parityCount_;
  const std::int64_t n = std::max<std::int64_t>(model_.FileCount, 1);
  psizelabel->setText(KByte(model_.BiggestFileSize * p));
  frlabel->setText(Percent(p * 100 / n));
  // With no data in parity there is nothing to relate the parity data to;
  // the engine refuses such a set before this dialog opens.
  drlabel->setText(model_.TotalSize > 0
                       ? Percent(model_.BiggestFileSize * p * 100 / model_.TotalSize)
                       : QStringLiteral("-"));
}

void TPropertiesForm::OKClick() {
  const std::string base = BaseName();
  if (GivesHiddenVolumes(base)) {
    ui_.ShowMessage(tr("Volumes named after this file name would be hidden, and no check would "
                       "find them. Choose another name."),
                    QMessageBox::NoIcon, this);
    return;
  }
  if (!HasRoomForVolumes(env_, base, model_.BiggestFileSize, parityCount_)) {
    ui_.ShowMessage(tr("Not enough free disk space for this."), QMessageBox::NoIcon, this);
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/include_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "ui/fit.h"
#include "ui/layout.h"

namespace tarvel::ui {
namespace {

constexpr int kLabelLeft = 16, kLabelWidth = 305, kLabel1Height = 65, kLabel2Height = 41;
constexpr int kIncLeft = 192;

}  // namespace

TIncludeform::TIncludeform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("Includeform");
  setWindowTitle(tr("Include this?"));
  setFixedSize(kWidth, kHeight);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);  // a name is never markup
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setGeometry(kLabelLeft, 8, kLabelWidth, kLabel1Height);

  Label2 = new QLabel(tr("It is strongly recommended to include this file only in the CRC list, "
                         "not in the parity data."),
                      this);
  Label2->setObjectName("Label2");
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(Label2, kLabelLeft, 80, kLabelWidth, kLabel2Height);

  dinc = new QPushButton(tr("&Only include in CRC"), this);
  dinc->setObjectName("dinc");
  dinc->setDefault(true);
  Place(dinc, 16, 136, 153, 41);
  inc = new QPushButton(tr("&Include in parity"), this);
  inc->setObjectName("inc");
  Place(inc, kIncLeft, 136, 129, 41);

  connect(dinc, &QPushButton::clicked, this, &TIncludeform::dincClick);
  connect(inc, &QPushButton::clicked, this, &TIncludeform::incClick);
}

void TIncludeform::SetIncludeFile(const QString& name, qint64 size) {
  Label1->setFont(font());
  const auto text = [size](const QString& shown) {
    return tr("The file ") + shown + tr(" (size: ") + QString::number(size) +
           tr(" bytes) seems to be a small description or checksum file.");
  };
  const FittedName fit = FitName(Label1->font(), name, text, {kLabelWidth, kLabel1Height},
                                 WidestClient(this) - (kWidth - kLabelWidth));
  // The texts keep their left edge and take the new width; "Include in
  // parity" stays at the right edge.
  const int grown = fit.width - kLabelWidth;
  setFixedSize(kWidth + grown, kHeight);
  Label1->setGeometry(kLabelLeft, 8, fit.width, kLabel1Height);
  Label2->resize(fit.width, kLabel2Height);
  inc->move(kIncLeft + grown, inc->y());
  Label1->setText(text(fit.name));
  Label1->setToolTip(PlainTip(name));
  FitFont(Label1);
  includeAnswer_ = false;
}

void TIncludeform::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Cancel)) {
    dinc->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TIncludeform::dincClick() {
  includeAnswer_ = false;
  accept();
}

void TIncludeform::incClick() {
  includeAnswer_ = true;
  accept();
}

}  // namespace tarvel::ui

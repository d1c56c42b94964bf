#include "ui/include_form.h"

#include <QLabel>
#include <QPushButton>

#include "ui/layout.h"

namespace tarvel::ui {

TIncludeform::TIncludeform(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("Includeform");
  setWindowTitle(tr("Include this?"));
  setFixedSize(336, 188);

  Label1 = new QLabel(this);
  Label1->setObjectName("Label1");
  Label1->setWordWrap(true);
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1->setGeometry(16, 8, 305, 65);

  Label2 = new QLabel(tr("It is strongly recommended to include this file only in the CRC list, "
                         "not in the parity data."),
                      this);
  Label2->setObjectName("Label2");
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(Label2, 16, 80, 305, 41);

  dinc = new QPushButton(tr("Only include in CRC"), this);
  dinc->setObjectName("dinc");
  Place(dinc, 16, 136, 153, 41);
  inc = new QPushButton(tr("Include in parity"), this);
  inc->setObjectName("inc");
  Place(inc, 192, 136, 129, 41);

  connect(dinc, &QPushButton::clicked, this, &TIncludeform::dincClick);
  connect(inc, &QPushButton::clicked, this, &TIncludeform::incClick);
}

void TIncludeform::SetIncludeFile(const QString& name, qint64 size) {
  Label1->setFont(font());
  Label1->setText(tr("The file ") + name + tr(" (size: ") + QString::number(size) +
                  tr(" bytes) seems to be a small description or checksum file."));
  FitFont(Label1);
  includeAnswer_ = false;
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

// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QSvgWidget>

#include "ui/fit.h"
#include "ui/layout.h"
#include "version.h"

namespace tarvel::ui {

TAboutBox::TAboutBox(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName("AboutBox");
  setWindowTitle(tr("About"));
  setFixedSize(415, 298);

  ProgramIcon = new QSvgWidget(QStringLiteral(":/tarvel/about.svg"), this);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(0, 0, 145, 297);

  ProductName = new QLabel(tr("Tarvel ") + QString::fromLatin1(kVersionText), this);
  ProductName->setObjectName("ProductName");
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  ProductName->setFont(big);
  PlaceAutoSized(ProductName, 160, 16);
  Version = new QLabel(tr("(alpha version)"), this);
  Version->setObjectName("Version");
  PlaceAutoSized(Version, ProductName->geometry().right() + 10,
                 ProductName->geometry().bottom() - Version->sizeHint().height() - 2);

  struct Credit {
    const char* name;
    QString heading;
    QString entry;
  };
  const Credit credits[] = {
      {"Idea", tr("Initial idea:"), tr("Protecting files with parity volumes")},
      {"Programming", tr("Programming:"), tr("The Tarvel developers")},
      {"Format", tr("File format specification:"), tr("docs/format.md, shipped with Tarvel")},
  };
  int y = 64;
  QFont bold = font();
  bold.setBold(true);
  for (const Credit& c : credits) {
    auto* heading = new QLabel(c.heading, this);
    heading->setObjectName(QString::fromLatin1(c.name) + "Heading");
    heading->setFont(bold);
    Place(heading, 160, y, 240, 17);
    auto* entry = new QLabel(c.entry, this);
    entry->setObjectName(QString::fromLatin1(c.name) + "Entry");
    Place(entry, 172, y + 18, 228, 17);
    y += 46;
  }
  auto* thanks =
      new QLabel(tr("Thanks to everyone who tries Tarvel and tells us what went wrong."), this);
  thanks->setObjectName("Thanks");
  thanks->setWordWrap(true);
  Place(thanks, 160, y + 2, 240, 36);

  OKButton = new QPushButton(tr("&OK"), this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  Place(OKButton, 233, 254, 92, 30);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOver(this, nullptr);
  KeepOnScreen(this);
}

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// The Parity Properties dialog: its labels, the spin edit's bounds and
// default for the set's size, the default base name, and the spin edit's
// stepping and clamping.
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTimer>
#include <memory>
#include <utility>

#include "engine/format/model.h"
#include "engine/set/create_rules.h"
#include "harness.h"
#include "suites.h"

namespace tarvel::uitest {
namespace {

// Shows the engine's proposal for a set of this shape from the next showing on.
void Propose(Harness& h, int files, qint64 biggest, qint64 total, const QString& firstName) {
  auto m = std::make_unique<SetModel>();
  m->FileCount = files;
  m->BiggestFileSize = biggest;
  m->TotalSize = total;
  m->FileTable[0].name = firstName.toStdString();
  h.windows->PropertiesForm->Propose(ProposeSet(Env::Default(), *m));
}

QString Text(QWidget* w, const char* name) { return Child<QLabel>(w, name)->text(); }

// Clicks the up or down button of a spin box where the user would.
void ClickArrow(QSpinBox* spin, QStyle::SubControl arrow) {
  QStyleOptionSpinBox option;
  option.initFrom(spin);
  option.subControls = arrow;
  option.buttonSymbols = spin->buttonSymbols();
  option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
  const QRect r = spin->style()->subControlRect(QStyle::CC_SpinBox, &option, arrow, spin);
  QTest::mouseClick(spin, Qt::LeftButton, Qt::NoModifier, r.center());
}

}  // namespace

void PropertiesFormTest::labelsBoundsAndBaseName_data() {
  QTest::addColumn<int>("files");
  QTest::addColumn<qint64>("biggest");
  QTest::addColumn<qint64>("total");
  QTest::addColumn<QString>("firstName");
  QTest::addColumn<int>("shown");  // the number of parity volumes shown at opening
  QTest::addColumn<int>("maximum");
  QTest::addColumn<QStringList>("labels");  // number, biggest, overall, psize, fr, dr
  QTest::addColumn<QString>("baseName");
  QTest::addColumn<QString>("volumes");  // named under the base name, in the current folder
  QTest::newRow("the worked example")
      << 10 << qint64(300000) << qint64(2000000) << "photo.jpeg" << 2 << 10
      << QStringList{"10", "292 kByte", "1953 kByte", "585 kByte", "20 %", "30 %"} << "photo"
      << "photo.PAR, photo.P01 – photo.P02";
  QTest::newRow("2 files") << 2 << qint64(5000) << qint64(9000) << "README" << 1 << 2
                           << QStringList{"2", "4 kByte", "8 kByte", "4 kByte", "50 %", "55 %"}
                           << "README"
                           << "README.PAR, README.P01";
  QTest::newRow("127 files") << 127 << qint64(1024) << qint64(127 * 1024) << "archive.tar.gz" << 13
                             << 127 << QStringList{"127",      "1 kByte", "127 kByte",
                                                   "13 kByte", "10 %",    "10 %"}
                             << "archive.tar"
                             << "archive.tar.PAR, archive.tar.P01 – archive.tar.P13";
  QTest::newRow("128 files") << 128 << qint64(2048) << qint64(128 * 2048) << "a" << 13 << 127
                             << QStringList{"128",      "2 kByte", "256 kByte",
                                            "26 kByte", "10 %",    "10 %"}
                             << "a"
                             << "a.PAR, a.P01 – a.P13";
  // The default 26 lies above the bounds and is brought into them at once.
  QTest::newRow("250 files") << 250 << qint64(10240) << qint64(250 * 10240) << "f.dat" << 5 << 5
                             << QStringList{"250",      "10 kByte", "2500 kByte",
                                            "50 kByte", "2 %",      "2 %"}
                             << "f"
                             << "f.PAR, f.P01 – f.P05";
  // Sizes above 2^31 bytes, in parity and in the parity data.
  QTest::newRow("gigabytes")
      << 20 << (qint64(1) << 30) << (qint64(5) << 30) << "big.iso" << 3 << 20
      << QStringList{"20", "1048576 kByte", "5242880 kByte", "3145728 kByte", "15 %", "60 %"}
      << "big"
      << "big.PAR, big.P01 – big.P03";
}

void PropertiesFormTest::labelsBoundsAndBaseName() {
  QFETCH(int, files);
  QFETCH(qint64, biggest);
  QFETCH(qint64, total);
  QFETCH(QString, firstName);
  QFETCH(int, shown);
  QFETCH(int, maximum);
  QFETCH(QStringList, labels);
  QFETCH(QString, baseName);
  QFETCH(QString, volumes);
  Harness h;
  Propose(h, files, biggest, total, firstName);
  ui::TPropertiesForm* form = h.windows->PropertiesForm;
  form->show();

  QCOMPARE(form->pnumEdit->value(), shown);
  QCOMPARE(form->ParityCount(), shown);
  QCOMPARE(form->pnumEdit->minimum(), 1);
  QCOMPARE(form->pnumEdit->maximum(), maximum);
  const QStringList shownLabels{Text(form, "numberlabel"),  Text(form, "biggestlabel"),
                                Text(form, "overalllabel"), Text(form, "psizelabel"),
                                Text(form, "frlabel"),      Text(form, "drlabel")};
  QCOMPARE(shownLabels, labels);
  QCOMPARE(form->filenameEdit->text(), baseName);
  QCOMPARE(QString::fromStdString(form->BaseName()), baseName);
  QCOMPARE(Text(form, "volumeslabel"), "Volumes: " + volumes + "\nin " + QDir::currentPath());
  QVERIFY(!form->Accepted());
  QCOMPARE(QApplication::focusWidget() == form->pnumEdit || !form->isActiveWindow(), true);
  form->hide();
}

void PropertiesFormTest::spinEditStepsClampsAndTakesNoText() {
  Harness h;
  Propose(h, 3, 1000, 3000, "a.bin");
  ui::TPropertiesForm* form = h.windows->PropertiesForm;
  form->show();
  QSpinBox* spin = form->pnumEdit;
  QCOMPARE(spin->value(), 1);

  ClickArrow(spin, QStyle::SC_SpinBoxUp);
  QCOMPARE(spin->value(), 2);
  QCOMPARE(Text(form, "frlabel"), QString("66 %"));
  QTest::keyClick(spin, Qt::Key_Up);
  QCOMPARE(spin->value(), 3);
  // At the maximum the up button and key change nothing.
  ClickArrow(spin, QStyle::SC_SpinBoxUp);
  QTest::keyClick(spin, Qt::Key_Up);
  QCOMPARE(spin->value(), 3);
  QCOMPARE(form->ParityCount(), 3);
  // A typed number is taken; a digit that would leave the bounds is not.
  spin->selectAll();
  QTest::keyClicks(spin, "2");
  QCOMPARE(spin->value(), 2);
  QCOMPARE(form->ParityCount(), 2);
  QTest::keyClicks(spin, "5");
  QCOMPARE(spin->value(), 2);
  QCOMPARE(spin->text(), QString("2"));
  QTest::keyClick(spin, Qt::Key_Down);
  ClickArrow(spin, QStyle::SC_SpinBoxDown);
  QCOMPARE(spin->value(), 1);
  QCOMPARE(form->ParityCount(), 1);
  QCOMPARE(Text(form, "psizelabel"), QString("0 kByte"));
  // The volumes named follow the number and the name as they change.
  QCOMPARE(Text(form, "volumeslabel"), "Volumes: a.PAR, a.P01\nin " + QDir::currentPath());
  form->filenameEdit->setText("sub/x");
  ClickArrow(spin, QStyle::SC_SpinBoxUp);
  QCOMPARE(Text(form, "volumeslabel"),
           "Volumes: x.PAR, x.P01 – x.P02\nin " + QDir::currentPath() + "/sub");
  form->hide();

  // The next showing starts again from this set's default.
  Propose(h, 250, 1000, 250000, "a.bin");
  form->show();
  QCOMPARE(spin->value(), 5);
  QCOMPARE(form->ParityCount(), 5);
  form->hide();

  // Enter after typing the name is OK, Escape is Cancel; both buttons have
  // their mnemonic.
  QCOMPARE(form->OK->text(), QString("&OK"));
  QCOMPARE(form->Cancel->text(), QString("&Cancel"));
  for (const auto& [key, accepted] : {std::pair{Qt::Key_Return, true}, {Qt::Key_Escape, false}}) {
    QTimer::singleShot(0, [&, key = key] {
      form->filenameEdit->setFocus();
      QTest::keyClicks(form->filenameEdit, "x");
      QTest::keyClick(form->filenameEdit, key);
    });
    form->exec();
    QCOMPARE(form->Accepted(), accepted);
    QCOMPARE(QString::fromStdString(form->BaseName()), QString("ax"));
  }
}

}  // namespace tarvel::uitest

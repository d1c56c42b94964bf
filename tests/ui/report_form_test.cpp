// The File report window: its texts before and after a restore driven by
// clicks, its two refusals, and its layout by the resize formulas.
#include <QPlainTextEdit>
#include <QStatusBar>

#include "harness.h"
#include "suites.h"

namespace tarvel::uitest {
namespace {

QString Memo(QWidget* w) { return Child<QPlainTextEdit>(w, "ReportMemo")->toPlainText(); }

// A set of four files with two parity volumes in the harness' folder.
void MakeSet(Harness& h) {
  int seed = 1;
  for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin"}) {
    h.Write(name, 60000 + 977 * seed, seed);
    ++seed;
  }
  h.CreateSet({"a.bin", "b.bin", "c.bin", "d.bin"}, "set", 2);
  h.dialogs.volume = h.Path("set.P01");
}

}  // namespace

void ReportFormTest::restoreDrivenByClicks() {
  Harness h;
  MakeSet(h);
  const QByteArray a = h.Read("a.bin"), c = h.Read("c.bin");
  QFile::remove(h.Path("a.bin"));
  h.Write("c.bin", c.size(), 99);

  QString before, after, statusAfter;
  bool restoreEnabledDuring = true;
  h.script.Then([&](QWidget* w) {
    before = Memo(w);
    Click(Child(w, "Restorebutton"));  // the prompts below come up inside this click
    after = Memo(w);
    statusAfter = Child<QStatusBar>(w, "StatusBar1")->currentMessage();
    Click(Child(w, "Restorebutton"));
    Click(Child(w, "OKButton"));
  });
  h.script.Then([&](QWidget* w) {
    restoreEnabledDuring = h.windows->Reportform->Restorebutton->isEnabled();
    Press("yesbutton", /*tick=*/true)(w);
  });
  h.script.Then(PressOk);
  Click(h.Main()->CheckButton);

  QCOMPARE(h.script.seen,
           QStringList({"Reportform", "restoreform", "Message: No files to restore..."}));
  QCOMPARE(before, QString(" \na.bin Missing...\n \nb.bin OK\n \nc.bin CRC Mismatch...\n \n"
                           "d.bin OK\n \n2 bad/missing files.\n \nFound parity volumes:\n"
                           "set.P01 OK\nset.P02 OK\n \n2 usable parity volumes found."));
  QCOMPARE(after, QString("a.bin OK\nb.bin OK\nc.bin OK\nd.bin OK\n \nAll files OK.\n \n"
                          "Found parity volumes:\nset.P01 OK\nset.P02 OK\n \n"
                          "2 usable parity volumes found."));
  QCOMPARE(statusAfter, QString("Ready"));
  QVERIFY(!restoreEnabledDuring);
  QVERIFY(h.windows->Reportform->Restorebutton->isEnabled());
  QCOMPARE(h.Read("a.bin"), a);
  QCOMPARE(h.Read("c.bin"), c);
}

void ReportFormTest::refusals_data() {
  QTest::addColumn<QStringList>("damage");  // files removed before the check
  QTest::addColumn<QString>("message");
  QTest::newRow("all files OK") << QStringList{} << "No files to restore...";
  QTest::newRow("2 bad files, 1 usable volume")
      << QStringList{"a.bin", "b.bin", "set.P02"}
      << "You do not have enough parity volumes. 2 parity volumes are needed.";
}

void ReportFormTest::refusals() {
  QFETCH(QStringList, damage);
  QFETCH(QString, message);
  Harness h;
  MakeSet(h);
  for (const QString& f : damage) QFile::remove(h.Path(f));
  const QStringList files = h.Files();
  QString before, after;
  h.script.Then([&](QWidget* w) {
    before = Memo(w);
    Click(Child(w, "Restorebutton"));
    after = Memo(w);
    Click(Child(w, "OKButton"));
  });
  h.script.Then(PressOk);
  Click(h.Main()->CheckButton);

  QCOMPARE(h.script.seen, QStringList({"Reportform", "Message: " + message}));
  QCOMPARE(after, before);
  QCOMPARE(h.Files(), files);
}

void ReportFormTest::layout_data() {
  QTest::addColumn<QSize>("outer");
  QTest::addColumn<QRect>("memo");
  QTest::addColumn<QPoint>("ok");
  QTest::addColumn<QPoint>("restore");
  QTest::newRow("as first shown") << QSize(409, 521) << QRect(8, 8, 385, 401) << QPoint(37, 424)
                                  << QPoint(241, 424);
  QTest::newRow("600 x 400") << QSize(600, 400) << QRect(8, 8, 576, 280) << QPoint(85, 303)
                             << QPoint(385, 303);
  QTest::newRow("minimum") << QSize(305, 231) << QRect(8, 8, 281, 111) << QPoint(11, 134)
                           << QPoint(163, 134);
  QTest::newRow("below the minimum")
      << QSize(200, 100) << QRect(8, 8, 281, 111) << QPoint(11, 134) << QPoint(163, 134);
}

void ReportFormTest::layout() {
  QFETCH(QSize, outer);
  QFETCH(QRect, memo);
  QFETCH(QPoint, ok);
  QFETCH(QPoint, restore);
  Harness h;
  ui::TReportform* report = h.windows->Reportform;
  report->show();
  QVERIFY(QTest::qWaitForWindowExposed(report));
  const QSize frame = report->frameGeometry().size() - report->size();
  if (outer != QSize(409, 521)) report->resize(outer - frame);
  QCOMPARE(report->frameGeometry().size(), outer.expandedTo(QSize(305, 231)));
  QCOMPARE(report->ReportMemo->geometry(), memo);
  QCOMPARE(report->OKButton->pos(), ok);
  QCOMPARE(report->Restorebutton->pos(), restore);
  QCOMPARE(report->OKButton->size(), QSize(129, 33));
  QCOMPARE(report->StatusBar1->geometry().bottom(), report->height() - 1);
  report->hide();
}

}  // namespace tarvel::uitest

// SPDX-License-Identifier: GPL-3.0-or-later
// The folder window driven by clicks: Protect a Folder... and Check a
// Folder... over generated trees, the rows and their states, Repair All, a
// row's File report, the cancelled dialog and Cancel.
#include <QDir>
#include <QSignalSpy>
#include <QTreeWidget>
#include <functional>
#include <string>

#include "harness.h"
#include "suites.h"
#include "support/env_wrapper.h"

namespace tarvel::uitest {
namespace {

using ui::TFolderForm;

// Runs `at` when the engine lists a folder whose name ends in `suffix` (the
// moment a stop is asked in).
class ListingEnv : public testing::EnvWrapper {
 public:
  std::string suffix;
  std::function<void()> at;
  std::vector<FolderEntry> List(const std::string& folder) override {
    if (at && folder.ends_with(suffix)) std::exchange(at, nullptr)();
    return EnvWrapper::List(folder);
  }
};

// Folders a, b and c below the harness folder, with 3, 2 and 1 files.
void WriteTree(Harness& h) {
  QDir root(h.folder.path());
  for (const char* f : {"a", "b", "c"}) root.mkdir(f);
  h.Write("a/a1.bin", 3000, 1);
  h.Write("a/a2.bin", 5000, 2);
  h.Write("a/a3.bin", 700, 3);
  h.Write("b/b1.bin", 4000, 4);
  h.Write("b/b2.bin", 4100, 5);
  h.Write("c/c1.bin", 100, 6);
}

TFolderForm* Form(Harness& h) { return h.windows->FolderForm; }

// Each row as "folder|set|state|files|bytes"; the folder is shown below the
// chosen one.
QStringList Rows(Harness& h) {
  QStringList rows;
  QTreeWidget* list = Form(h)->SetList;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = list->topLevelItem(i);
    QStringList cells{item->text(TFolderForm::kFolder)};
    for (int c = TFolderForm::kSet; c <= TFolderForm::kBytes; ++c) cells << item->text(c);
    rows << cells.join('|');
  }
  return rows;
}

QString Details(Harness& h, int row) {
  return Form(h)->SetList->topLevelItem(row)->text(TFolderForm::kDetails);
}

void Protect(Harness& h) {
  h.dialogs.folder = h.folder.path();
  Click(h.Main()->ProtectFolderButton);
}

void CheckFolder(Harness& h) {
  h.dialogs.folder = h.folder.path();
  Click(h.Main()->CheckFolderButton);
}

}  // namespace

void MainFormTest::folderProtect_data() {
  QTest::addColumn<QString>("change");  // between a first protect and the one looked at
  QTest::addColumn<QStringList>("rows");
  QTest::addColumn<QString>("details");  // of folder a
  QTest::addColumn<bool>("repairable");
  const QString skipped = "c|0 sets|skipped|0|0";
  QTest::newRow("new tree") << QString()
                            << QStringList{".|0 sets|skipped|0|0", "a|1 set|protected|3|8700",
                                           "b|1 set|protected|2|8100", skipped}
                            << QString() << false;
  QTest::newRow("nothing changed")
      << "none"
      << QStringList{".|0 sets|skipped|0|0", "a|1 set|up to date|3|8700",
                     "b|1 set|up to date|2|8100", skipped}
      << QString() << false;
  QTest::newRow("file added") << "added"
                              << QStringList{".|0 sets|skipped|0|0", "a|1 set|renewed|4|8750",
                                             "b|1 set|up to date|2|8100", skipped}
                              << "1 added" << false;
  QTest::newRow("file edited") << "edited"
                               << QStringList{".|0 sets|skipped|0|0", "a|1 set|renewed|3|8700",
                                              "b|1 set|up to date|2|8100", skipped}
                               << "1 edited" << false;
  QTest::newRow("file damaged")
      << "damaged"
      << QStringList{".|0 sets|skipped|0|0", "a|a.PAR|damaged||", "b|1 set|up to date|2|8100",
                     skipped}
      << "a2.bin is damaged: repair restores it; the sets left as they were" << true;
  QTest::newRow("file missing")
      << "missing"
      << QStringList{".|0 sets|skipped|0|0", "a|a.PAR|missing||", "b|1 set|up to date|2|8100",
                     skipped}
      << "a3.bin is missing: repair restores it; the sets left as they were" << true;
}

// Each folder below the chosen one gets a row with the state the command
// line gives it; a damaged or missing file is named and can be repaired.
void MainFormTest::folderProtect() {
  QFETCH(QString, change);
  QFETCH(QStringList, rows);
  QFETCH(QString, details);
  QFETCH(bool, repairable);
  Harness h;
  h.windows->engine.SetThreads(1);
  WriteTree(h);
  const QByteArray a2 = h.Read("a/a2.bin"), a3 = h.Read("a/a3.bin");
  if (!change.isEmpty()) {
    Protect(h);
    if (change == "added") h.Write("a/a4.bin", 50, 7);
    if (change == "edited") h.Edit("a/a2.bin", 5000, 8);
    // Damage is found when a folder's sets are renewed.
    if (change == "damaged") {
      h.Write("a/a4.bin", 50, 11);
      h.Corrupt("a/a2.bin", 5000, 9);
    }
    if (change == "missing") QFile::remove(h.Path("a/a3.bin"));
  }
  const QByteArray volume = h.Read("a/a.PAR");
  Protect(h);
  QVERIFY2(!h.script.unexpected, qPrintable(h.script.seen.join("; ")));
  QVERIFY(Form(h)->isVisible());
  // The root's and c's rows do not depend on the order: the rows come in
  // the order the folders were done.
  QStringList got = Rows(h);
  got.sort();
  rows.sort();
  QCOMPARE(got, rows);
  const int a = static_cast<int>(Rows(h).indexOf(QRegularExpression("^a\\|.*")));
  QVERIFY(a >= 0);
  if (!details.isEmpty()) QCOMPARE(Details(h, a), details);
  QCOMPARE(Form(h)->RepairButton->isEnabled(), repairable);
  if (change == "damaged" || change == "missing") QCOMPARE(h.Read("a/a.PAR"), volume);
  QVERIFY(Form(h)->StatusBar->currentMessage().startsWith("4 folders: "));
  if (!repairable) return;
  // Repair All mends the damaged or missing file.
  Click(Form(h)->RepairButton);
  QVERIFY2(!h.script.unexpected, qPrintable(h.script.seen.join("; ")));
  QCOMPARE(h.Read("a/a2.bin"), a2);
  QCOMPARE(h.Read("a/a3.bin"), a3);
  QVERIFY(!Form(h)->RepairButton->isEnabled());
}

void MainFormTest::folderCheckAndRepairAll_data() {
  QTest::addColumn<QString>("start");  // how Repair All is asked for
  QTest::newRow("Repair All clicked") << "click";
  QTest::newRow("Repair All by the keyboard") << "Space";
}

// Check a Folder... checks every set below the folder without a File
// report popping up for each; the damaged one is repairable, and Repair All
// mends it (and only it).
void MainFormTest::folderCheckAndRepairAll() {
  QFETCH(QString, start);
  Harness h;
  h.windows->engine.SetThreads(1);
  WriteTree(h);
  Protect(h);
  const QByteArray good = h.Read("b/b1.bin");
  const QByteArray other = h.Read("a/a1.bin");
  h.Corrupt("b/b1.bin", 4000, 10);
  CheckFolder(h);
  QVERIFY2(h.script.seen.isEmpty(), qPrintable(h.script.seen.join("; ")));
  QCOMPARE(Rows(h), (QStringList{"a|a.PAR|intact|3|8700", "b|b.PAR|repairable|2|8100"}));
  QCOMPARE(Details(h, 1), "1 bad/missing files. 1 usable parity volumes found.");
  QVERIFY(Form(h)->RepairButton->isEnabled());

  if (start == "click") {
    Click(Form(h)->RepairButton);
  } else {
    QTest::keyClick(Form(h)->RepairButton, Qt::Key_Space);
  }
  QVERIFY2(h.script.seen.isEmpty(), qPrintable(h.script.seen.join("; ")));
  QCOMPARE(Rows(h), (QStringList{"a|a.PAR|intact|3|8700", "b|b.PAR|repaired|2|8100"}));
  QCOMPARE(h.Read("b/b1.bin"), good);
  QCOMPARE(h.Read("a/a1.bin"), other);
  QVERIFY(!Form(h)->RepairButton->isEnabled());
  QCOMPARE(Form(h)->StatusBar->currentMessage(), "1 repaired, 0 not mended.");
  // A second check finds nothing to mend.
  CheckFolder(h);
  QCOMPARE(Rows(h), (QStringList{"a|a.PAR|intact|3|8700", "b|b.PAR|intact|2|8100"}));
}

// Opening a row shows its set's File report (the report of the row, not of
// the set checked last), and a row from protect shows its folder's set.
void MainFormTest::folderOpenRow_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("how");
  QTest::newRow("check, double-click") << "check"
                                       << "double-click";
  QTest::newRow("check, Enter") << "check"
                                << "Enter";
  QTest::newRow("check, Show Report") << "check"
                                      << "button";
  QTest::newRow("protect, Enter") << "protect"
                                  << "Enter";
}

void MainFormTest::folderOpenRow() {
  QFETCH(QString, action);
  QFETCH(QString, how);
  Harness h;
  h.windows->engine.SetThreads(1);
  WriteTree(h);
  Protect(h);
  if (action == "check") CheckFolder(h);
  const int row = static_cast<int>(Rows(h).indexOf(QRegularExpression("^a\\|.*")));
  QVERIFY(row >= 0);
  QTreeWidget* list = Form(h)->SetList;
  QTreeWidgetItem* item = list->topLevelItem(row);
  list->setCurrentItem(item);
  QString title;
  QString text;
  h.script.Then([&](QWidget* w) {
    title = w->windowTitle();
    text = h.windows->Reportform->ReportMemo->toPlainText();
    Click(h.windows->Reportform->OKButton);
  });
  QApplication::setActiveWindow(Form(h));
  if (how == "double-click") {
    const QRect place = list->visualItemRect(item);
    QVERIFY(place.isValid());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, place.center());
  } else if (how == "Enter") {
    QTest::keyClick(list, Qt::Key_Return);
  } else {
    Click(Form(h)->ReportButton);
  }
  QCOMPARE(h.script.seen, QStringList{"Reportform"});
  QVERIFY2(title.contains("a"), qPrintable(title));
  QVERIFY2(text.contains("a1.bin") && !text.contains("b1.bin"), qPrintable(text));
  QVERIFY(!h.script.unexpected);
}

void MainFormTest::folderCancel_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("how");
  QTest::newRow("protect, Cancel") << "protect"
                                   << "Cancel";
  QTest::newRow("protect, Escape") << "protect"
                                   << "Escape";
  QTest::newRow("check, Cancel") << "check"
                                 << "Cancel";
  QTest::newRow("dialog cancelled") << "protect"
                                    << "dialog";
}

// Cancel stops the engine where it is: said as every stopped action says
// it, the rows done stay, nothing of the folders after is written.  A
// cancelled folder dialog does nothing.
void MainFormTest::folderCancel() {
  QFETCH(QString, action);
  QFETCH(QString, how);
  ListingEnv env;
  Harness h({}, env);
  h.windows->engine.SetThreads(1);
  WriteTree(h);
  if (action == "check") Protect(h);
  const QStringList before = QDir(h.Path("b")).entryList(QDir::Files, QDir::Name);
  if (how == "dialog") {
    Click(h.Main()->ProtectFolderButton);  // the dialog answers nothing
    QVERIFY(!Form(h)->isVisible());
    QVERIFY(h.script.seen.isEmpty());
    QVERIFY(QDir(h.Path("a")).entryList({"*.PAR"}, QDir::Files).isEmpty());
    return;
  }
  h.script.Then(PressOk);
  env.suffix = "/b";
  bool cancelEnabled = false;
  env.at = [&] {
    cancelEnabled = Form(h)->CancelButton->isEnabled();
    if (how == "Cancel") Click(Form(h)->CancelButton);
    if (how == "Escape") QTest::keyClick(Form(h), Qt::Key_Escape);
  };
  if (action == "protect") {
    Protect(h);
  } else {
    CheckFolder(h);
  }
  QVERIFY(cancelEnabled);
  QCOMPARE(h.script.seen, QStringList{"Message: Operation aborted!"});
  QCOMPARE(QDir(h.Path("b")).entryList(QDir::Files, QDir::Name), before);
  for (const QString& row : Rows(h)) {
    QVERIFY2(!row.startsWith("b|") || row.contains("checking"), qPrintable(row));
    QVERIFY2(!row.startsWith("c|"), qPrintable(row));
  }
  QVERIFY(Form(h)->isVisible());
  QVERIFY(!Form(h)->CancelButton->isEnabled());
  QVERIFY(Form(h)->CloseButton->isEnabled());
  QVERIFY(h.Main()->ProtectFolderButton->isEnabled());
}

}  // namespace tarvel::uitest

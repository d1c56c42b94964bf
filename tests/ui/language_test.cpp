// SPDX-License-Identifier: GPL-3.0-or-later
// One language per person: the file layer, the engine's report and the
// windows speak the locale's language; the C locale shows the system's own
// texts.  The language is chosen by LANGUAGE in the locale C.UTF-8, which
// glibc always has (Debian 12's honours LANGUAGE there, unlike in C and
// POSIX), so the test needs no locales generated on the machine.
#include "platform/language.h"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <clocale>
#include <memory>

#include "engine/report.h"
#include "platform/env.h"
#include "suites.h"
#include "ui/progress_form.h"
#include "ui/translation.h"

namespace tarvel::uitest {
namespace {

std::unique_ptr<ui::GettextTranslator> translator;

void TakeLocale(const QByteArray& lcAll, const QByteArray& language) {
  qputenv("LC_ALL", lcAll);
  if (language.isEmpty()) {
    qunsetenv("LANGUAGE");
  } else {
    qputenv("LANGUAGE", language);
  }
  QVERIFY(std::setlocale(LC_ALL, "") != nullptr);
  BindTextDomain(kTextDomain);
  BindTextDomain(kWindowsTextDomain);
}

}  // namespace

void LanguageTest::initTestCase() {
  translator = std::make_unique<ui::GettextTranslator>();
  QApplication::installTranslator(translator.get());
}

void LanguageTest::cleanupTestCase() {
  QApplication::removeTranslator(translator.get());
  translator.reset();
  qunsetenv("LANGUAGE");
  qputenv("LC_ALL", "C");
  std::setlocale(LC_ALL, "C");
}

void LanguageTest::textsOfEveryLayer_data() {
  QTest::addColumn<QByteArray>("lcAll");
  QTest::addColumn<QByteArray>("language");
  QTest::addColumn<QString>("fileText");  // %1: the current folder
  QTest::addColumn<QString>("reportLine");
  QTest::addColumn<QString>("caption");

  const QString systemFile = QStringLiteral("Datei gone.PAR kann nicht geöffnet werden");
  const QString englishFile = QStringLiteral("Cannot open the file %1/gone.PAR");
  const QString germanFile = QStringLiteral("Die Datei %1/gone.PAR kann nicht geöffnet werden");
  const QString systemLine = QStringLiteral("2 bad/missing files.");
  const QString germanLine = QStringLiteral("2 Dateien fehlerhaft oder fehlend.");
  const QString system = QStringLiteral("Working...");
  const QString german = QStringLiteral("In Arbeit...");
  // C and POSIX are the system's texts, whatever LANGUAGE says.
  QTest::newRow("C, LANGUAGE=de") << QByteArray("C") << QByteArray("de") << systemFile << systemLine
                                  << system;
  QTest::newRow("POSIX, LANGUAGE=de")
      << QByteArray("POSIX") << QByteArray("de") << systemFile << systemLine << system;
  QTest::newRow("C.UTF-8") << QByteArray("C.UTF-8") << QByteArray() << systemFile << systemLine
                           << system;
  QTest::newRow("English") << QByteArray("C.UTF-8") << QByteArray("en") << englishFile << systemLine
                           << system;
  QTest::newRow("German") << QByteArray("C.UTF-8") << QByteArray("de") << germanFile << germanLine
                          << german;
  QTest::newRow("German after a language without texts")
      << QByteArray("C.UTF-8") << QByteArray("xx:de_AT:en") << germanFile << germanLine << german;
  QTest::newRow("a language without texts")
      << QByteArray("C.UTF-8") << QByteArray("xx") << systemFile << systemLine << system;
}

void LanguageTest::textsOfEveryLayer() {
  QFETCH(QByteArray, lcAll);
  QFETCH(QByteArray, language);
  QFETCH(QString, fileText);
  QFETCH(QString, reportLine);
  QFETCH(QString, caption);
  TakeLocale(lcAll, language);

  QCOMPARE(QString::fromStdString(CannotOpenText("gone.PAR")),
           fileText.contains(QStringLiteral("%1")) ? fileText.arg(QDir::currentPath()) : fileText);
  SetReport report;
  report.badFiles = 2;
  const std::vector<std::string> lines = ReportTexts(report);
  QVERIFY(std::find(lines.begin(), lines.end(), reportLine.toStdString()) != lines.end());
  ui::TProgressForm1 progress(nullptr);
  QCOMPARE(progress.windowTitle(), caption);
}

}  // namespace tarvel::uitest

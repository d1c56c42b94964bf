// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one window test suite, named as the first argument; the rest of the
// arguments go to QtTest.
#include <QApplication>
#include <QStandardPaths>
#include <QTest>
#include <cstring>

#include "suites.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvel"));
  // Remembered folders go to a test location, not the user's settings.
  QStandardPaths::setTestModeEnabled(true);
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_test SUITE [QtTest options]\n");
    return 2;
  }
  const char* suite = argv[1];
  argv[1] = argv[0];
  const int rest = argc - 1;
  char** restArgs = argv + 1;
  using namespace tarvel::uitest;
  if (std::strcmp(suite, "MainFormTest") == 0) {
    MainFormTest t;
    return QTest::qExec(&t, rest, restArgs);
  }
  if (std::strcmp(suite, "PropertiesFormTest") == 0) {
    PropertiesFormTest t;
    return QTest::qExec(&t, rest, restArgs);
  }
  if (std::strcmp(suite, "ReportFormTest") == 0) {
    ReportFormTest t;
    return QTest::qExec(&t, rest, restArgs);
  }
  if (std::strcmp(suite, "PromptsTest") == 0) {
    PromptsTest t;
    return QTest::qExec(&t, rest, restArgs);
  }
  if (std::strcmp(suite, "LanguageTest") == 0) {
    LanguageTest t;
    return QTest::qExec(&t, rest, restArgs);
  }
  std::fprintf(stderr, "ui_test: no suite %s\n", suite);
  return 2;
}

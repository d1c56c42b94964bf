// SPDX-License-Identifier: GPL-3.0-or-later
// The window test suites, one per group of windows; tests/ui/main.cpp runs
// the one named on its command line (CTest runs each as its own test).
#pragma once

#include <QObject>

namespace tarvel::uitest {

class MainFormTest : public QObject {
  Q_OBJECT
 private slots:
  void init();
  void fileCount_data();
  void fileCount();
  void setOrderAndCreate();
  void propertiesRefusals_data();
  void propertiesRefusals();
  void commandLine_data();
  void commandLine();
  void buttonsDisabledDuringActionAndAfterError();
  void stoppedActions_data();
  void stoppedActions();
  void askedBeforeReplacingOrWritingAway_data();
  void askedBeforeReplacingOrWritingAway();
  void droppedFiles_data();
  void droppedFiles();
  void longActionTold_data();
  void longActionTold();
  void aboutBox();
  // The folder window (folder_form_test.cpp).
  void folderProtect_data();
  void folderProtect();
  void folderCheckAndRepairAll_data();
  void folderCheckAndRepairAll();
  void folderOpenRow_data();
  void folderOpenRow();
  void folderCancel_data();
  void folderCancel();
};

class PropertiesFormTest : public QObject {
  Q_OBJECT
 private slots:
  void labelsBoundsAndBaseName_data();
  void labelsBoundsAndBaseName();
  void spinEditStepsClampsAndTakesNoText();
};

class ReportFormTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void init();
  void restoreDrivenByClicks_data();
  void restoreDrivenByClicks();
  void markedLines_data();
  void markedLines();
  void keptGeometry_data();
  void keptGeometry();
  void refusals_data();
  void refusals();
  void layout_data();
  void layout();
};

class PromptsTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void fileSearchStandingAnswers_data();
  void fileSearchStandingAnswers();
  void restoreStandingAnswers_data();
  void restoreStandingAnswers();
  void includePrompt_data();
  void includePrompt();
  void keyboard_data();
  void keyboard();
  void longNames_data();
  void longNames();
  void accessibleNames_data();
  void accessibleNames();
  void progressWindowAsksToStop();
  void fileDialogs();
};

class LanguageTest : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase();
  void cleanupTestCase();
  void textsOfEveryLayer_data();
  void textsOfEveryLayer();
};

}  // namespace tarvel::uitest

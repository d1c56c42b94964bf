// SPDX-License-Identifier: GPL-3.0-or-later
// The windows' texts in the person's language: Qt's tr() looked up in the
// gettext catalogue of the windows (kWindowsTextDomain), so the windows and
// the engine share one way of choosing the language (platform/language.h).
#pragma once

#include <QTranslator>

namespace tarvel::ui {

class GettextTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;

  // The translation of `sourceText`, or a null string when the catalogue
  // has none (Qt then asks the next translator, or shows the text itself).
  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override;
  bool isEmpty() const override { return false; }
};

}  // namespace tarvel::ui

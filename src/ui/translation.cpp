// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/translation.h"

#include <libintl.h>

#include "platform/language.h"

namespace tarvel::ui {

QString GettextTranslator::translate(const char* context, const char* sourceText,
                                     const char* disambiguation, int n) const {
  (void)context;
  (void)disambiguation;
  (void)n;
  if (sourceText == nullptr || *sourceText == '\0') return {};
  const char* found = dgettext(kWindowsTextDomain, sourceText);
  if (found == sourceText) return {};
  return QString::fromUtf8(found);
}

}  // namespace tarvel::ui

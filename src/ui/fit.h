// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting file names into the prompts, and windows onto the screen.
//
// A prompt that shows a file name keeps its given size as long as the name
// fits; a longer name makes the label (and its window) wider, up to what
// the screen can show, and only a name too long even for that is elided in
// the middle, so that its start and its extension stay in sight.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

class QFont;
class QWidget;

namespace tarvel::ui {

struct FittedName {
  int width = 0;  // the label's width: the given one, or wider
  QString name;   // the name as shown: whole, or elided in the middle
};

// Fits the label text `text(name)` (word-wrapped, in `font`) into a label of
// `given` size: keeps the given width when it fits, else the least width up
// to `widest` that fits, else `widest` with the name elided in the middle.
FittedName FitName(const QFont& font, const QString& name,
                   const std::function<QString(const QString&)>& text, QSize given, int widest);

// A name as a tooltip, shown as it is even when it looks like markup.
QString PlainTip(const QString& name);

// The widest client area that `window` may have on the screen it is shown
// on (that of its parent until it is shown itself).
int WidestClient(const QWidget* window);
// `client` made no larger than the client area that fits on that screen.
QSize BoundedByScreen(QSize client, const QWidget* window);

// A window frame made no larger than `area` and moved into it.
QRect KeptWithin(QRect frame, const QRect& area);
// Keeps `window` (its frame, where it has one) within the available area
// of its screen: it is made smaller when it is larger, and moved when part
// of it is off the screen.
void KeepOnScreen(QWidget* window);

}  // namespace tarvel::ui

// SPDX-License-Identifier: GPL-3.0-or-later
// Placing controls where the windows' 96-dpi layout puts them, and keeping
// their texts readable there: a control keeps its position and size, and
// when the platform's font would cut its text off, its font is made smaller
// instead.
#pragma once

class QWidget;

namespace tarvel::ui {

// Puts `w` at x, y with the given size and shrinks its font until its text
// fits (labels that wrap: in height; other controls: in width).
void Place(QWidget* w, int x, int y, int width, int height);
// Puts a control that sizes itself (a label without a given size) at x, y.
void PlaceAutoSized(QWidget* w, int x, int y);
// Shrinks the font of `w` until its text fits its current size.
void FitFont(QWidget* w);

// Centres `window` over `over` (or on its screen when `over` is null).
void CentreOver(QWidget* window, const QWidget* over);

}  // namespace tarvel::ui

#pragma once

// The colours the trees give their rows' text, worked out from the palette they are drawn with.
// On a light base they are the classic fixed values; on a dark base they are lighter
// equivalents that keep a contrast of at least MinimumContrast against the base colour.

#include <QColor>
#include <QPalette>

inline constexpr double MinimumContrast = 4.5;

// The contrast ratio of two colours as the web's accessibility guidelines define it (1 to 21).
double ContrastRatio(const QColor& AFirst, const QColor& ASecond);

// True when the palette's base colour is closer to black than to white.
bool IsDarkPalette(const QPalette& APalette);

// Entries outside the entered server version: grey 128/128/128 on a light base.
QColor GreyedTextColor(const QPalette& APalette);

// The rows the program fills itself: pure blue on a light base.
QColor FixedRowTextColor(const QPalette& APalette);

// AColor when it reads on ABackground (MinimumContrast); else the first colour on the way from
// it towards white or black (whichever reads better there) that does.
QColor ReadableOn(const QColor& AColor, const QColor& ABackground);

// APalette (the window's) as a tree draws it, with the selection shown while the tree lacks the
// keyboard focus: on a light base the colour of an inactive window caption with the normal text
// colour on it; on a dark base what the palette itself gives for an inactive selection.
QPalette UnfocusedSelectionPalette(const QPalette& APalette);

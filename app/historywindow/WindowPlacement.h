#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where a window of ASize (its frame) goes to stand centred over AOwner (the owner's frame),
// moved as little as needed to lie within AScreen (the available area of the owner's screen); a
// window larger than the screen starts at the screen's top left corner.
QPoint CentredOver(const QRect& AOwner, const QSize& ASize, const QRect& AScreen);

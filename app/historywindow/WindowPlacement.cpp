#include "WindowPlacement.h"

#include <algorithm>

QPoint CentredOver(const QRect& AOwner, const QSize& ASize, const QRect& AScreen) {
    // QRect's center() rounds down: the window's half is taken the same way, so that a window
    // as large as its owner lands exactly on it.
    const QPoint centred = AOwner.center() - QRect(QPoint(0, 0), ASize).center();
    if (AScreen.isEmpty())
        return centred;
    const auto fit = [](int AStart, int ALength, int AFirst, int AAvailable) {
        // max last: the start of a window larger than the screen wins over its end.
        return std::max(AFirst, std::min(AStart, AFirst + AAvailable - ALength));
    };
    return {fit(centred.x(), ASize.width(), AScreen.left(), AScreen.width()),
            fit(centred.y(), ASize.height(), AScreen.top(), AScreen.height())};
}

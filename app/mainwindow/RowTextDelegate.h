#pragma once

#include <QColor>
#include <QStyledItemDelegate>

// How a tree row's text is drawn; an invalid colour leaves the view's own choice. Unavailable:
// the row lies outside the entered server version (drawn grey, and said so to screen readers).
struct TTextStyle {
    bool Bold = false;
    QColor Color;
    bool Unavailable = false;
};

// The model role that tells TRowTextDelegate a row is unavailable (a bool).
inline constexpr int RowUnavailableRole = Qt::UserRole + 100;
// What a screen reader hears of an unavailable row.
QString UnavailableDescription();

// Draws a cell's text in the colour its model gives also while the cell is selected (a style
// would use the selection's text colour), so grey and blue rows keep their meaning there too:
// lightened or darkened only as far as it takes to read on the selection, an unavailable row
// set in italics there so that it stays told apart from the others.
class TRowTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* AOption, const QModelIndex& ACell) const override;
};

#pragma once

#include <QStyledItemDelegate>

// Draws a cell's text in the colour its model gives also while the cell is selected (a style
// would use the selection's text colour), so grey and blue rows keep their meaning there too.
class TRowTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* AOption, const QModelIndex& ACell) const override;
};

#include "RowTextDelegate.h"

void TRowTextDelegate::initStyleOption(QStyleOptionViewItem* AOption,
                                       const QModelIndex& ACell) const {
    QStyledItemDelegate::initStyleOption(AOption, ACell);
    const QVariant color = ACell.data(Qt::ForegroundRole);
    if (color.canConvert<QBrush>())
        AOption->palette.setBrush(QPalette::HighlightedText, qvariant_cast<QBrush>(color));
}

#include "RowTextDelegate.h"

#include "TextColors.h"

QString UnavailableDescription() {
    return QStringLiteral("Not available in the entered server version");
}

void TRowTextDelegate::initStyleOption(QStyleOptionViewItem* AOption,
                                       const QModelIndex& ACell) const {
    QStyledItemDelegate::initStyleOption(AOption, ACell);
    const QVariant color = ACell.data(Qt::ForegroundRole);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor wanted = color.canConvert<QBrush>()
                                  ? qvariant_cast<QBrush>(color).color()
                                  : AOption->palette.color(group, QPalette::HighlightedText);
        AOption->palette.setColor(
            group, QPalette::HighlightedText,
            ReadableOn(wanted, AOption->palette.color(group, QPalette::Highlight)));
    }
    if ((AOption->state & QStyle::State_Selected) && ACell.data(RowUnavailableRole).toBool())
        AOption->font.setItalic(true);
}

#include "ParamTree.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>

TParamTreeModel::TParamTreeModel(TParamTreeHandlers& AHandlers, QObject* AParent)
    : QAbstractTableModel(AParent), FHandlers(AHandlers) {}

void TParamTreeModel::SetRootNodeCount(int ACount) {
    beginResetModel();
    FCount = ACount;
    for (int row = 0; row < FCount; ++row)
        FHandlers.ParamTreeSetChecked(row, FHandlers.ParamTreeInitNode(row));
    endResetModel();
}

bool TParamTreeModel::Checked(int AIndex) const {
    return FHandlers.ParamTreeGetChecked(AIndex);
}

void TParamTreeModel::SetChecked(int AIndex, bool AChecked) {
    FHandlers.ParamTreeSetChecked(AIndex, AChecked);
    const QModelIndex cell = index(AIndex, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

int TParamTreeModel::rowCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : RootNodeCount();
}

int TParamTreeModel::columnCount(const QModelIndex& AParent) const {
    return AParent.isValid() ? 0 : 2;
}

QVariant TParamTreeModel::data(const QModelIndex& ACell, int ARole) const {
    if (!ACell.isValid())
        return {};
    switch (ARole) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return FHandlers.ParamTreeGetText(ACell.row(), ACell.column());
    case Qt::CheckStateRole:
        if (ACell.column() != 0)
            return {};
        return Checked(ACell.row()) ? Qt::Checked : Qt::Unchecked;
    case Qt::ForegroundRole:
    case Qt::AccessibleDescriptionRole:
    case RowUnavailableRole: {
        TTextStyle style;
        FHandlers.ParamTreePaintText(ACell.row(), style);
        if (ARole == RowUnavailableRole)
            return style.Unavailable;
        if (ARole == Qt::AccessibleDescriptionRole)
            return style.Unavailable ? UnavailableDescription() : QVariant();
        return style.Color.isValid() ? QVariant(style.Color) : QVariant();
    }
    default:
        return {};
    }
}

bool TParamTreeModel::setData(const QModelIndex& ACell, const QVariant& AValue, int ARole) {
    if (!ACell.isValid())
        return false;
    if (ARole == Qt::CheckStateRole && ACell.column() == 0) {
        bool newState = static_cast<Qt::CheckState>(AValue.toInt()) == Qt::Checked;
        if (!FHandlers.ParamTreeChecking(ACell.row(), newState))
            return false;
        SetChecked(ACell.row(), newState);
        return true;
    }
    if (ARole == Qt::EditRole && ACell.column() == 1) {
        const QString text = AValue.toString();
        // Only a change made in the editor counts as new text.
        if (text == FHandlers.ParamTreeGetText(ACell.row(), 1))
            return false;
        FHandlers.ParamTreeNewText(ACell.row(), ACell.column(), text);
        emit dataChanged(ACell, ACell);
        return true;
    }
    return false;
}

QVariant TParamTreeModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole)
        return {};
    return ASection == 0 ? QStringLiteral("Parameter") : QStringLiteral("Value");
}

Qt::ItemFlags TParamTreeModel::flags(const QModelIndex& ACell) const {
    if (!ACell.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (ACell.column() == 0)
        result |= Qt::ItemIsUserCheckable;
    if (FHandlers.ParamTreeEditing(ACell.row(), ACell.column()))
        result |= Qt::ItemIsEditable;
    return result;
}

void TParamTreeDelegate::paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
                               const QModelIndex& ACell) const {
    QStyledItemDelegate::paint(APainter, AOption, ACell);
    APainter->save();
    APainter->setPen(AOption.palette.color(QPalette::Midlight));
    APainter->drawLine(AOption.rect.bottomLeft(), AOption.rect.bottomRight());
    APainter->drawLine(AOption.rect.topRight(), AOption.rect.bottomRight());
    APainter->restore();
}

QSize TParamTreeDelegate::sizeHint(const QStyleOptionViewItem& AOption,
                                   const QModelIndex& ACell) const {
    return QStyledItemDelegate::sizeHint(AOption, ACell) + QSize(0, 2);
}

void TParamTreeDelegate::setEditorData(QWidget* AEditor, const QModelIndex& ACell) const {
    QStyledItemDelegate::setEditorData(AEditor, ACell);
    if (auto* edit = qobject_cast<QLineEdit*>(AEditor))
        edit->selectAll();
}

TParamTreeView::TParamTreeView(TParamTreeHandlers& AHandlers, QWidget* AParent)
    : QTreeView(AParent), FHandlers(AHandlers) {}

void TParamTreeView::currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) {
    QTreeView::currentChanged(ACurrent, APrevious);
    if (ACurrent.isValid())
        FHandlers.ParamTreeFocusChanged(ACurrent.row(), ACurrent.column());
}

void TParamTreeView::CommitEdit() {
    if (!Editing())
        return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        QTreeView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TParamTreeView::closeEditor(QWidget* AEditor, QAbstractItemDelegate::EndEditHint AHint) {
    // Tab and Shift+Tab in the editor move to the next or previous row, not the next cell.
    if (AHint != QAbstractItemDelegate::EditNextItem &&
        AHint != QAbstractItemDelegate::EditPreviousItem) {
        QTreeView::closeEditor(AEditor, AHint);
        return;
    }
    QTreeView::closeEditor(AEditor, QAbstractItemDelegate::NoHint);
    const QModelIndex current = currentIndex();
    const int row = current.row() + (AHint == QAbstractItemDelegate::EditNextItem ? 1 : -1);
    if (current.isValid() && row >= 0 && row < model()->rowCount())
        setCurrentIndex(model()->index(row, current.column()));
}

// A second click on the focused cell opens its editor (when the cell may be edited).
void TParamTreeView::mousePressEvent(QMouseEvent* AEvent) {
    FPressedOnCurrent = AEvent->button() == Qt::LeftButton && !Editing() &&
                        indexAt(AEvent->position().toPoint()) == currentIndex();
    QTreeView::mousePressEvent(AEvent);
}

void TParamTreeView::mouseReleaseEvent(QMouseEvent* AEvent) {
    QTreeView::mouseReleaseEvent(AEvent);
    const QModelIndex cell = indexAt(AEvent->position().toPoint());
    if (FPressedOnCurrent && cell.isValid() && cell == currentIndex() && !Editing())
        edit(cell);
    FPressedOnCurrent = false;
}

#pragma once

#include "RowTextDelegate.h"

#include <QAbstractTableModel>
#include <QTreeView>

class QColor;

// What the parameter grid asks of the window that shows it. Rows are given by their index.
class TParamTreeHandlers {
public:
    virtual QString ParamTreeGetText(int AIndex, int AColumn) const = 0;
    // The tick a new row starts with.
    virtual bool ParamTreeInitNode(int AIndex) const = 0;
    // Whether the user may tick or untick the row; ANewState is the state asked for.
    virtual bool ParamTreeChecking(int AIndex, bool& ANewState) const = 0;
    virtual bool ParamTreeEditing(int AIndex, int AColumn) const = 0;
    virtual void ParamTreeNewText(int AIndex, int AColumn, const QString& ANewText) = 0;
    virtual void ParamTreeFocusChanged(int AIndex, int AColumn) = 0;
    virtual void ParamTreePaintText(int AIndex, TTextStyle& AStyle) const = 0;
    // The row's tick, kept by the handlers next to the row's value.
    virtual bool ParamTreeGetChecked(int AIndex) const = 0;
    virtual void ParamTreeSetChecked(int AIndex, bool AChecked) = 0;

protected:
    ~TParamTreeHandlers() = default;
};

// The parameter grid's model: a flat list of rows with two columns, "Parameter" (with the row's
// check box) and "Value". Texts, ticks, colours and edit permissions come from the handlers.
class TParamTreeModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TParamTreeModel(TParamTreeHandlers& AHandlers, QObject* AParent);

    // Replaces every row by ACount new rows, each with the tick the handlers start it with.
    void SetRootNodeCount(int ACount);
    int RootNodeCount() const { return FCount; }

    bool Checked(int AIndex) const;
    // Sets the state directly, without asking the checking handler.
    void SetChecked(int AIndex, bool AChecked);

    int rowCount(const QModelIndex& AParent = {}) const override;
    int columnCount(const QModelIndex& AParent = {}) const override;
    QVariant data(const QModelIndex& ACell, int ARole) const override;
    bool setData(const QModelIndex& ACell, const QVariant& AValue, int ARole) override;
    QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override;
    Qt::ItemFlags flags(const QModelIndex& ACell) const override;

private:
    TParamTreeHandlers& FHandlers;
    int FCount = 0;
};

// Draws the grid lines and gives the in-place editor its behaviour: the text all selected, Tab
// accepting and moving on.
class TParamTreeDelegate : public TRowTextDelegate {
    Q_OBJECT
public:
    using TRowTextDelegate::TRowTextDelegate;

    void paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
               const QModelIndex& ACell) const override;
    QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& ACell) const override;
    void setEditorData(QWidget* AEditor, const QModelIndex& ACell) const override;
};

// The parameter grid's view: reports focus changes (row or column) to the handlers and moves to
// the next row when Tab accepts an edit.
class TParamTreeView : public QTreeView {
    Q_OBJECT
public:
    TParamTreeView(TParamTreeHandlers& AHandlers, QWidget* AParent);

    bool Editing() const { return state() == EditingState; }
    // Ends an edit in progress, keeping what was typed.
    void CommitEdit();

protected:
    void currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) override;
    void closeEditor(QWidget* AEditor, QAbstractItemDelegate::EndEditHint AHint) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    TParamTreeHandlers& FHandlers;
    bool FPressedOnCurrent = false;
};

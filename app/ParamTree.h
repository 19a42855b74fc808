#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <vector>

class TMainForm;

// The parameter grid's model: a flat list of rows with two columns, "Parameter" (with the row's
// check box) and "Value". Texts, colours and edit permissions come from the window's handlers;
// the check states live here, in the rows, and each row is initialised once before first use.
class TParamTreeModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TParamTreeModel(TMainForm& AForm, QObject* AParent);

    // Replaces every row by ACount new, uninitialised rows.
    void SetRootNodeCount(int ACount);
    int RootNodeCount() const { return static_cast<int>(Rows.size()); }

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
    struct Row {
        bool Initialized = false;
        bool Checked = false;
    };
    Row& InitializedRow(int AIndex) const;

    TMainForm& Form;
    mutable std::vector<Row> Rows;
};

// Draws the grid lines and gives the in-place editor its behaviour: the text all selected, Tab
// accepting and moving on.
class TParamTreeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* APainter, const QStyleOptionViewItem& AOption,
               const QModelIndex& ACell) const override;
    QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& ACell) const override;
    void setEditorData(QWidget* AEditor, const QModelIndex& ACell) const override;
};

// The parameter grid's view: reports focus changes (row or column) to the window and moves to
// the next row when Tab accepts an edit.
class TParamTreeView : public QTreeView {
    Q_OBJECT
public:
    TParamTreeView(TMainForm& AForm, QWidget* AParent);

    bool Editing() const { return state() == EditingState; }

protected:
    void currentChanged(const QModelIndex& ACurrent, const QModelIndex& APrevious) override;
    void closeEditor(QWidget* AEditor, QAbstractItemDelegate::EndEditHint AHint) override;
    void mousePressEvent(QMouseEvent* AEvent) override;
    void mouseReleaseEvent(QMouseEvent* AEvent) override;

private:
    TMainForm& Form;
    bool PressedOnCurrent = false;
};

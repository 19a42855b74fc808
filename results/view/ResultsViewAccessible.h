#pragma once

#include <QAccessibleWidget>

class TResultsView;

// What screen readers learn of the results view: a read-only text, read through Qt's text
// interface piece by piece, so a large answer is never copied whole.
class TResultsViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TResultsViewAccessible(QWidget* AWidget);

    void* interface_cast(QAccessible::InterfaceType AType) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text AType) const override;

    void selection(int ASelectionIndex, int* AStartOffset, int* AEndOffset) const override;
    int selectionCount() const override;
    void addSelection(int AStartOffset, int AEndOffset) override;
    void removeSelection(int ASelectionIndex) override;
    void setSelection(int ASelectionIndex, int AStartOffset, int AEndOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int APosition) override;
    QString text(int AStartOffset, int AEndOffset) const override;
    int characterCount() const override;
    QRect characterRect(int AOffset) const override;
    int offsetAtPoint(const QPoint& APoint) const override;
    void scrollToSubstring(int AStartIndex, int AEndIndex) override;
    QString attributes(int AOffset, int* AStartOffset, int* AEndOffset) const override;

private:
    TResultsView* View() const;
};

// Makes Qt ask for TResultsViewAccessible for every results view; once per process.
void InstallResultsViewAccessibility();

#pragma once

#include <QAccessibleWidget>

#include <cstdint>
#include <memory>
#include <vector>

class TResultsView;
class TTextDocument;

// What screen readers learn of the results view: a read-only text, read through Qt's text
// interface piece by piece, so a large answer is never copied whole. The text is the one Select All
// and Copy give: every line break is one line feed, so offsets here differ from the view's where
// a line ends in CR LF.
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
    // Between the view's offsets and the ones given here.
    int64_t ViewOffset(int AOffset) const;
    int ReaderOffset(int64_t AViewOffset) const;
    // For each line, how many characters the two-character line breaks before it take beyond one;
    // empty when no line ends in CR LF. Worked out when first needed for a document.
    const std::vector<int64_t>& ExtraBreaks() const;

    mutable std::weak_ptr<const TTextDocument> FMapped;
    mutable std::vector<int64_t> FExtraBefore;
};

// Makes Qt ask for TResultsViewAccessible for every results view; once per process.
void InstallResultsViewAccessibility();

#include "ResultsViewAccessible.h"

#include "ResultsView.h"
#include "TextDocument.h"

#include <climits>

namespace {

int Clamped(int64_t AValue) {
    return static_cast<int>(std::clamp<int64_t>(AValue, 0, INT_MAX));
}

QAccessibleInterface* Factory(const QString& AClassName, QObject* AObject) {
    if (AClassName == QLatin1String("TResultsView") && AObject && AObject->isWidgetType())
        return new TResultsViewAccessible(static_cast<QWidget*>(AObject));
    return nullptr;
}

} // namespace

void InstallResultsViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&Factory);
        return true;
    }();
    (void)installed;
}

TResultsViewAccessible::TResultsViewAccessible(QWidget* AWidget)
    : QAccessibleWidget(AWidget, QAccessible::EditableText) {}

TResultsView* TResultsViewAccessible::View() const {
    return static_cast<TResultsView*>(widget());
}

const std::vector<int64_t>& TResultsViewAccessible::ExtraBreaks() const {
    const auto& document = View()->Document();
    if (!document) {
        FExtraBefore.clear();
        FMapped.reset();
        return FExtraBefore;
    }
    if (FMapped.lock() == document)
        return FExtraBefore;
    FMapped = document;
    FExtraBefore.clear();
    const int64_t lines = document->LineCount();
    int64_t extra = 0;
    for (int64_t line = 0; line + 1 < lines; ++line) {
        const int64_t breakLength =
            document->LineStart(line + 1) - document->LineStart(line) - document->LineLength(line);
        if (breakLength > 1 && FExtraBefore.empty())
            FExtraBefore.assign(static_cast<std::size_t>(line + 1), 0);
        extra += breakLength - 1;
        if (!FExtraBefore.empty())
            FExtraBefore.push_back(extra);
    }
    return FExtraBefore;
}

int64_t TResultsViewAccessible::ViewOffset(int AOffset) const {
    const std::vector<int64_t>& extra = ExtraBreaks();
    if (extra.empty())
        return AOffset;
    const auto& document = View()->Document();
    // The last line whose start, as given here, is at or before AOffset.
    int64_t low = 0, high = document->LineCount() - 1;
    while (low < high) {
        const int64_t middle = (low + high + 1) / 2;
        if (document->LineStart(middle) - extra[static_cast<std::size_t>(middle)] <= AOffset)
            low = middle;
        else
            high = middle - 1;
    }
    return AOffset + extra[static_cast<std::size_t>(low)];
}

int TResultsViewAccessible::ReaderOffset(int64_t AViewOffset) const {
    const std::vector<int64_t>& extra = ExtraBreaks();
    if (extra.empty())
        return Clamped(AViewOffset);
    const auto& document = View()->Document();
    const int64_t line = document->LineAt(AViewOffset);
    // Inside a line break: at the one character it is given as.
    const int64_t lineEnd = document->LineStart(line) + document->LineLength(line);
    return Clamped(std::min(AViewOffset, lineEnd) - extra[static_cast<std::size_t>(line)]);
}

void* TResultsViewAccessible::interface_cast(QAccessible::InterfaceType AType) {
    if (AType == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(AType);
}

QAccessible::State TResultsViewAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString TResultsViewAccessible::text(QAccessible::Text AType) const {
    // The value is the whole text only while that is small; readers ask for pieces otherwise.
    if (AType == QAccessible::Value && characterCount() <= (1 << 20))
        return View()->toPlainText();
    return QAccessibleWidget::text(AType);
}

void TResultsViewAccessible::selection(int ASelectionIndex, int* AStartOffset,
                                       int* AEndOffset) const {
    *AStartOffset = *AEndOffset = 0;
    if (ASelectionIndex != 0 || selectionCount() == 0)
        return;
    *AStartOffset = ReaderOffset(View()->SelectionStart());
    *AEndOffset = ReaderOffset(View()->SelectionEnd());
}

int TResultsViewAccessible::selectionCount() const {
    return View()->SelectionEnd() > View()->SelectionStart() ? 1 : 0;
}

void TResultsViewAccessible::addSelection(int AStartOffset, int AEndOffset) {
    setSelection(0, AStartOffset, AEndOffset);
}

void TResultsViewAccessible::removeSelection(int ASelectionIndex) {
    if (ASelectionIndex == 0)
        View()->SetSelection(View()->Cursor(), View()->Cursor());
}

void TResultsViewAccessible::setSelection(int ASelectionIndex, int AStartOffset, int AEndOffset) {
    if (ASelectionIndex == 0)
        View()->SetSelection(ViewOffset(AStartOffset), ViewOffset(AEndOffset));
}

int TResultsViewAccessible::cursorPosition() const {
    return ReaderOffset(View()->Cursor());
}

void TResultsViewAccessible::setCursorPosition(int APosition) {
    const int64_t offset = ViewOffset(APosition);
    View()->SetSelection(offset, offset);
}

QString TResultsViewAccessible::text(int AStartOffset, int AEndOffset) const {
    const auto& document = View()->Document();
    return document ? document->Text(ViewOffset(AStartOffset), ViewOffset(AEndOffset)) : QString();
}

int TResultsViewAccessible::characterCount() const {
    const auto& document = View()->Document();
    if (!document)
        return 0;
    const std::vector<int64_t>& extra = ExtraBreaks();
    return Clamped(document->Length() - (extra.empty() ? 0 : extra.back()));
}

QRect TResultsViewAccessible::characterRect(int AOffset) const {
    const QRect place = View()->CursorRect(ViewOffset(AOffset));
    if (!place.isValid())
        return {};
    const QPoint topLeft = View()->viewport()->mapToGlobal(place.topLeft());
    return QRect(topLeft, QSize(View()->fontMetrics().horizontalAdvance(u'0'), place.height()));
}

int TResultsViewAccessible::offsetAtPoint(const QPoint& APoint) const {
    return ReaderOffset(View()->OffsetAt(View()->viewport()->mapFromGlobal(APoint)));
}

void TResultsViewAccessible::scrollToSubstring(int AStartIndex, int AEndIndex) {
    View()->SetSelection(ViewOffset(AStartIndex), ViewOffset(AEndIndex));
}

QString TResultsViewAccessible::attributes(int AOffset, int* AStartOffset, int* AEndOffset) const {
    *AStartOffset = *AEndOffset = AOffset;
    return {};
}

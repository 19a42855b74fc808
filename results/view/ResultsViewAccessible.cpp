#include "ResultsViewAccessible.h"

#include "ResultsView.h"

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
    *AStartOffset = Clamped(View()->SelectionStart());
    *AEndOffset = Clamped(View()->SelectionEnd());
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
        View()->SetSelection(AStartOffset, AEndOffset);
}

int TResultsViewAccessible::cursorPosition() const {
    return Clamped(View()->Cursor());
}

void TResultsViewAccessible::setCursorPosition(int APosition) {
    View()->SetSelection(APosition, APosition);
}

QString TResultsViewAccessible::text(int AStartOffset, int AEndOffset) const {
    const auto& document = View()->Document();
    return document ? document->Slice(AStartOffset, AEndOffset) : QString();
}

int TResultsViewAccessible::characterCount() const {
    const auto& document = View()->Document();
    return document ? Clamped(document->Length()) : 0;
}

QRect TResultsViewAccessible::characterRect(int AOffset) const {
    const QRect place = View()->CursorRect(AOffset);
    if (!place.isValid())
        return {};
    const QPoint topLeft = View()->viewport()->mapToGlobal(place.topLeft());
    return QRect(topLeft, QSize(View()->fontMetrics().horizontalAdvance(u'0'), place.height()));
}

int TResultsViewAccessible::offsetAtPoint(const QPoint& APoint) const {
    return Clamped(View()->OffsetAt(View()->viewport()->mapFromGlobal(APoint)));
}

void TResultsViewAccessible::scrollToSubstring(int AStartIndex, int AEndIndex) {
    View()->SetSelection(AStartIndex, AEndIndex);
}

QString TResultsViewAccessible::attributes(int AOffset, int* AStartOffset, int* AEndOffset) const {
    *AStartOffset = *AEndOffset = AOffset;
    return {};
}

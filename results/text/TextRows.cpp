#include "TextRows.h"

#include "BackgroundPool.h"

#include <QChar>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int64_t CachedLines = 64;
// Texts up to this many characters are wrapped at once: it takes well under a millisecond.
constexpr int64_t WrappedAtOnce = 1 << 18;

bool IsWordChar(char16_t AChar) {
    return QChar(AChar).isLetterOrNumber() || AChar == u'_';
}

} // namespace

TTextRows::TTextRows(const QFont& AFont) : FWrapper(std::make_unique<TLineWrapper>(AFont)) {}

TTextRows::~TTextRows() {
    // A pass still running ends on its own, early; it holds nothing of these rows.
    StopWrapping();
}

void TTextRows::SetDocument(std::shared_ptr<const TTextDocument> ADocument) {
    FDoc = std::move(ADocument);
    // Until the text is wrapped, each of its lines counts one row.
    FWrapped.clear();
    FOverrides.clear();
    FTotalRows = FBaseTotalRows = FDoc ? FDoc->LineCount() : 0;
    FExactLines.clear();
    FTop = 0;
    FAnchorPos = FCursorPos = 0;
    FWantedColumn = -1;
    FLaidOutColumns = 0;
}

void TTextRows::SetFont(const QFont& AFont) {
    FWrapper = std::make_unique<TLineWrapper>(AFont);
    FLaidOutColumns = 0;
}

void TTextRows::RowsChanged() {
    if (FRowsChanged)
        FRowsChanged();
}

const TWrappedLine* TTextRows::WrappedLine(int64_t ALine) const {
    const auto found = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrappedLine& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    return found != FWrapped.end() && found->Line == ALine ? &*found : nullptr;
}

void TTextRows::StopWrapping() {
    if (FWrapCancel)
        FWrapCancel->store(true);
    FWrapCancel.reset();
    FWrapPending = false;
    FExactLines.clear();
}

std::optional<TTextRows::TPassFuture> TTextRows::Layout(qreal AWidth, int AColumns,
                                                        int64_t APageRows) {
    FPageRows = std::max<int64_t>(1, APageRows);
    // Lines measured by width follow the width in pixels; ASCII ones only the column count.
    const bool measured = FDoc && !(FWrapper->AsciiOneColumn() && FDoc->AllAscii());
    if (FDoc && AColumns == FLaidOutColumns && (!measured || AWidth == FLaidOutWidth)) {
        SetTopRow(FTop);
        RowsChanged();
        return std::nullopt;
    }
    FLaidOutColumns = AColumns;
    FLaidOutWidth = AWidth;
    FWrapper->SetWidth(AWidth, AColumns);
    FRowStartCache.clear();
    StopWrapping();
    // A text of a few lines is wrapped here whole: they are all near the screen, so this thread
    // would wrap them anyway, and a pass would only do it again.
    if (!FDoc || FDoc->Length() <= WrappedAtOnce || FDoc->LineCount() <= 4 * FPageRows) {
        TakeLayout(FDoc ? WrapDocument(*FDoc, *FWrapper) : TWrapLayout{});
        return std::nullopt;
    }
    // The rows counted so far stand until the pass lands; lines are wrapped anew as they are
    // reached (WrapNow).
    FExactLines.assign(static_cast<std::size_t>((FDoc->LineCount() + 63) / 64), 0);
    FWrapPending = true;
    FWrapCancel = std::make_shared<std::atomic<bool>>(false);
    TPassFuture pass =
        QtConcurrent::run(&BackgroundPool(), [document = FDoc, wrapper = FWrapper->Clone(),
                                              cancel = FWrapCancel]() mutable {
            auto result = std::make_shared<TWrapPass>();
            result->Layout = WrapDocument(*document, wrapper, cancel.get());
            result->Document = std::move(document);
            return result;
        });
    SetTopRow(FTop);
    RowsChanged();
    return pass;
}

void TTextRows::TakeLayout(TWrapLayout&& ALayout) {
    FWrapped = std::move(ALayout.Wrapped);
    FOverrides.clear();
    FTotalRows = FBaseTotalRows = FDoc ? ALayout.TotalRows : 0;
    for (auto& [line, starts] : ALayout.LongLines)
        if (static_cast<int64_t>(FRowStartCache.size()) < CachedLines)
            FRowStartCache.emplace(line, std::move(starts));
    FTop = std::clamp<int64_t>(FTop, 0, MaxTopRow());
    RowsChanged();
}

bool TTextRows::TakePass(const std::shared_ptr<TWrapPass>& APass) {
    // A pass for an older text or width, or stopped, is dropped.
    if (!FWrapPending || !APass || APass->Document != FDoc || !APass->Layout.Complete ||
        APass->Layout.Columns != FLaidOutColumns || APass->Layout.Width != FLaidOutWidth)
        return false;
    const int64_t top = TopOffset();
    FWrapPending = false;
    FWrapCancel.reset();
    FExactLines.clear();
    TakeLayout(std::move(APass->Layout));
    SetTopRow(RowOf(top));
    return true;
}

bool TTextRows::Exact(int64_t ALine) const {
    if (FExactLines.empty())
        return true;
    const auto line = static_cast<std::size_t>(ALine);
    return ((FExactLines[line / 64] >> (line % 64)) & 1) != 0;
}

int64_t TTextRows::BaseRows(int64_t ALine) const {
    const TWrappedLine* wrapped = WrappedLine(ALine);
    return wrapped ? wrapped->Rows : 1;
}

std::vector<TTextRows::TOverride>::const_iterator TTextRows::OverrideFrom(int64_t ALine) const {
    return std::lower_bound(
        FOverrides.begin(), FOverrides.end(), ALine,
        [](const TOverride& AOverride, int64_t ALineNo) { return AOverride.Line < ALineNo; });
}

int64_t TTextRows::RowsOfLine(int64_t ALine) const {
    const auto at = OverrideFrom(ALine);
    return at != FOverrides.end() && at->Line == ALine ? at->Rows : BaseRows(ALine);
}

void TTextRows::WrapNow(int64_t ALine, int ADirection, int64_t ARows) {
    if (FExactLines.empty() || !FDoc)
        return;
    std::vector<std::pair<int64_t, int64_t>> changed; // line, rows
    std::vector<int64_t> starts;
    std::u16string buffer;
    int64_t covered = 0;
    for (int64_t line = ALine; line >= 0 && line < FDoc->LineCount(); line += ADirection) {
        if (line != ALine && covered >= ARows)
            break;
        if (Exact(line)) {
            covered += line == ALine ? 0 : RowsOfLine(line);
            continue;
        }
        FExactLines[static_cast<std::size_t>(line) / 64] |= uint64_t(1) << (line % 64);
        int64_t rows = 1;
        if (!FWrapper->FitsAtSight(*FDoc, line)) {
            FWrapper->Wrap(*FDoc, line, FDoc->Line(line, buffer), starts);
            rows = static_cast<int64_t>(starts.size());
            if (rows > 1 && static_cast<int64_t>(FRowStartCache.size()) < 4 * CachedLines)
                FRowStartCache.emplace(line, starts);
        }
        covered += line == ALine ? 0 : rows;
        if (rows != RowsOfLine(line))
            changed.emplace_back(line, rows);
    }
    if (changed.empty())
        return;
    const TPlace top = Locate(FTop);
    for (const auto& [line, rows] : changed) {
        const auto at = std::lower_bound(
            FOverrides.begin(), FOverrides.end(), line,
            [](const TOverride& AOverride, int64_t ALineNo) { return AOverride.Line < ALineNo; });
        if (at != FOverrides.end() && at->Line == line)
            at->Rows = rows;
        else
            FOverrides.insert(at, {line, rows, 0});
    }
    int64_t delta = 0;
    for (TOverride& entry : FOverrides) {
        delta += entry.Rows - BaseRows(entry.Line);
        entry.Delta = delta;
    }
    FTotalRows = FBaseTotalRows + delta;
    FTop = std::clamp<int64_t>(FirstRowOfLine(top.Line) +
                                   std::min(top.RowInLine, RowsOfLine(top.Line) - 1),
                               0, MaxTopRow());
    RowsChanged();
}

int64_t TTextRows::MaxTopRow() const {
    return std::max<int64_t>(0, FTotalRows - FPageRows);
}

void TTextRows::SetTopRow(int64_t ARow) {
    const int64_t top = std::clamp<int64_t>(ARow, 0, MaxTopRow());
    if (top == FTop)
        return;
    FTop = top;
    RowsChanged();
}

int64_t TTextRows::TopOffset() {
    if (!FDoc || FTotalRows == 0)
        return 0;
    const TRow row = RowAt(FTop);
    return FDoc->LineStart(row.Line) + row.From;
}

void TTextRows::ShowOnTop(int64_t AOffset) {
    if (!FDoc)
        return;
    const int64_t line = FDoc->LineAt(AOffset);
    WrapNow(line, -1, FPageRows);
    WrapNow(line, 1, 2 * FPageRows);
    SetTopRow(RowOf(AOffset));
}

void TTextRows::WrapPage() {
    if (FWrapPending)
        WrapNow(Locate(FTop).Line, 1, FPageRows + 1);
}

int64_t TTextRows::BaseFirstRow(int64_t ALine) const {
    const auto after = std::lower_bound(
        FWrapped.begin(), FWrapped.end(), ALine,
        [](const TWrappedLine& AWrapped, int64_t ALineNo) { return AWrapped.Line < ALineNo; });
    if (after == FWrapped.begin())
        return ALine;
    const TWrappedLine& before = *(after - 1);
    return ALine + before.ExtraBefore + before.Rows - 1;
}

int64_t TTextRows::FirstRowOfLine(int64_t ALine) const {
    const auto at = OverrideFrom(ALine);
    return BaseFirstRow(ALine) + (at == FOverrides.begin() ? 0 : (at - 1)->Delta);
}

const std::vector<int64_t>& TTextRows::RowStarts(int64_t ALine) {
    auto found = FRowStartCache.find(ALine);
    if (found != FRowStartCache.end())
        return found->second;
    if (static_cast<int64_t>(FRowStartCache.size()) >= 4 * CachedLines)
        FRowStartCache.clear();
    std::u16string buffer;
    std::vector<int64_t> starts;
    FWrapper->Wrap(*FDoc, ALine, FDoc->Line(ALine, buffer), starts);
    return FRowStartCache.emplace(ALine, std::move(starts)).first->second;
}

TTextRows::TPlace TTextRows::BaseLocate(int64_t ARow) const {
    // The last wrapped line that starts at or before the row.
    const auto after = std::upper_bound(FWrapped.begin(), FWrapped.end(), ARow,
                                        [](int64_t ARowNo, const TWrappedLine& AWrapped) {
                                            return ARowNo < AWrapped.Line + AWrapped.ExtraBefore;
                                        });
    if (after == FWrapped.begin())
        return {ARow, 0};
    const TWrappedLine& w = *(after - 1);
    const int64_t first = w.Line + w.ExtraBefore;
    if (ARow < first + w.Rows)
        return {w.Line, ARow - first};
    return {ARow - (w.ExtraBefore + w.Rows - 1), 0};
}

TTextRows::TPlace TTextRows::Locate(int64_t ARow) const {
    ARow = std::clamp<int64_t>(ARow, 0, std::max<int64_t>(0, FTotalRows - 1));
    // The last line counted anew that starts at or before the row; past its rows, the lines up
    // to the next one have their rows counted before, moved by what the new counts added.
    const auto firstRow = [this](std::size_t AIndex) {
        return BaseFirstRow(FOverrides[AIndex].Line) +
               (AIndex == 0 ? 0 : FOverrides[AIndex - 1].Delta);
    };
    std::size_t low = 0;
    std::size_t high = FOverrides.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (firstRow(middle) <= ARow)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return BaseLocate(ARow);
    const TOverride& before = FOverrides[low - 1];
    const int64_t first = firstRow(low - 1);
    if (ARow < first + before.Rows)
        return {before.Line, ARow - first};
    return BaseLocate(ARow - before.Delta);
}

TTextRows::TRow TTextRows::RowAt(int64_t ARow) {
    if (!FDoc)
        return {0, 0, 0};
    TPlace place = Locate(ARow);
    // Until the pass lands, the line is wrapped when reached, which may move the rows after it.
    while (place.Line < FDoc->LineCount() && !Exact(place.Line)) {
        WrapNow(place.Line, 1, 0);
        place = Locate(ARow);
    }
    if (place.Line >= FDoc->LineCount())
        return {0, 0, 0};
    const int64_t length = FDoc->LineLength(place.Line);
    if (RowsOfLine(place.Line) <= 1)
        return {place.Line, 0, length};
    const std::vector<int64_t>& starts = RowStarts(place.Line);
    const auto index = std::min(static_cast<std::size_t>(place.RowInLine), starts.size() - 1);
    return {place.Line, starts[index], index + 1 < starts.size() ? starts[index + 1] : length};
}

int64_t TTextRows::RowOf(int64_t AOffset) {
    if (!FDoc)
        return 0;
    const int64_t line = FDoc->LineAt(AOffset);
    WrapNow(line, 1, 0);
    const int64_t column = std::min(AOffset - FDoc->LineStart(line), FDoc->LineLength(line));
    const int64_t first = FirstRowOfLine(line);
    if (RowsOfLine(line) <= 1)
        return first;
    const std::vector<int64_t>& starts = RowStarts(line);
    return first + (std::upper_bound(starts.begin(), starts.end(), column) - starts.begin()) - 1;
}

int64_t TTextRows::ClampToLine(int64_t AOffset) const {
    if (!FDoc)
        return 0;
    AOffset = std::clamp<int64_t>(AOffset, 0, FDoc->Length());
    const int64_t line = FDoc->LineAt(AOffset);
    return std::min(AOffset, FDoc->LineStart(line) + FDoc->LineLength(line));
}

void TTextRows::EnsureVisible(int64_t AOffset) {
    const int64_t row = RowOf(AOffset);
    if (row < FTop)
        SetTopRow(row);
    else if (row >= FTop + FPageRows)
        SetTopRow(row - FPageRows + 1);
}

void TTextRows::SetSelection(int64_t AAnchor, int64_t ACursor) {
    FAnchorPos = ClampToLine(AAnchor);
    FCursorPos = ClampToLine(ACursor);
    FWantedColumn = -1;
    EnsureVisible(FCursorPos);
}

void TTextRows::SelectAll() {
    if (!FDoc)
        return;
    FAnchorPos = 0;
    FCursorPos = FDoc->Length();
}

void TTextRows::MoveCursor(int64_t AOffset, bool AExtend) {
    FCursorPos = ClampToLine(AOffset);
    if (!AExtend)
        FAnchorPos = FCursorPos;
    EnsureVisible(FCursorPos);
}

void TTextRows::MoveTo(int64_t AOffset, bool AExtend) {
    FWantedColumn = -1;
    MoveCursor(AOffset, AExtend);
}

void TTextRows::DragTo(int64_t AOffset) {
    MoveCursor(AOffset, true);
}

void TTextRows::SelectWordAt(int64_t AOffset) {
    if (!FDoc)
        return;
    const int64_t line = FDoc->LineAt(AOffset);
    std::u16string buffer;
    const std::u16string_view text = FDoc->Line(line, buffer);
    const int64_t start = FDoc->LineStart(line);
    int64_t from = AOffset - start;
    int64_t to = from;
    while (from > 0 && IsWordChar(text[static_cast<std::size_t>(from - 1)]))
        --from;
    while (to < static_cast<int64_t>(text.size()) && IsWordChar(text[static_cast<std::size_t>(to)]))
        ++to;
    SetSelection(start + from, start + to);
}

void TTextRows::MoveRows(int64_t ARows, bool AExtend) {
    // The rows passed over wrapped first, so that a move during a pass counts true rows.
    WrapNow(FDoc->LineAt(FCursorPos), ARows < 0 ? -1 : 1, std::abs(ARows) + 1);
    const int64_t row = RowOf(FCursorPos);
    const TRow here = RowAt(row);
    if (FWantedColumn < 0)
        FWantedColumn = FCursorPos - FDoc->LineStart(here.Line) - here.From;
    const int64_t targetRow = std::clamp<int64_t>(row + ARows, 0, FTotalRows - 1);
    const TRow there = RowAt(targetRow);
    const int64_t wanted = FWantedColumn;
    int64_t column = std::min(wanted, there.To - there.From);
    // Stay on the row: a wrapped row ends before the next row's first character.
    if (there.To < FDoc->LineLength(there.Line) && column == there.To - there.From && column > 0)
        --column;
    if (targetRow == row && ARows < 0)
        column = 0;
    else if (targetRow == row && ARows > 0)
        column = there.To - there.From;
    MoveCursor(FDoc->LineStart(there.Line) + there.From + column, AExtend);
    FWantedColumn = wanted;
}

void TTextRows::Move(TMove AMove, bool AExtend) {
    if (!FDoc)
        return;
    const int64_t line = FDoc->LineAt(FCursorPos);
    const int64_t lineStart = FDoc->LineStart(line);
    const int64_t lineEnd = lineStart + FDoc->LineLength(line);
    switch (AMove) {
    case TMove::Left:
        FWantedColumn = -1;
        if (!AExtend && SelectionEnd() > SelectionStart())
            return MoveCursor(SelectionStart(), false);
        return MoveCursor(FCursorPos > lineStart || line == 0
                              ? FCursorPos - 1
                              : FDoc->LineStart(line - 1) + FDoc->LineLength(line - 1),
                          AExtend);
    case TMove::Right:
        FWantedColumn = -1;
        if (!AExtend && SelectionEnd() > SelectionStart())
            return MoveCursor(SelectionEnd(), false);
        return MoveCursor(FCursorPos < lineEnd || line + 1 >= FDoc->LineCount()
                              ? FCursorPos + 1
                              : FDoc->LineStart(line + 1),
                          AExtend);
    case TMove::Up:
        return MoveRows(-1, AExtend);
    case TMove::Down:
        return MoveRows(1, AExtend);
    case TMove::PageUp:
        return MoveRows(-FPageRows, AExtend);
    case TMove::PageDown:
        return MoveRows(FPageRows, AExtend);
    case TMove::RowStart:
    case TMove::RowEnd: {
        FWantedColumn = -1;
        const TRow row = RowAt(RowOf(FCursorPos));
        return MoveCursor(
            FDoc->LineStart(row.Line) + (AMove == TMove::RowStart ? row.From : row.To), AExtend);
    }
    case TMove::TextStart:
        FWantedColumn = -1;
        return MoveCursor(0, AExtend);
    case TMove::TextEnd:
        FWantedColumn = -1;
        return MoveCursor(FDoc->Length(), AExtend);
    }
}

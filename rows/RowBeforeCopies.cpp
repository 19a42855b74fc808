#include "RowBeforeCopies.h"

#include "CatalogueJson.h"
#include "DataSize.h"
#include "RowRunPlan.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>

namespace {

// AText as one JSON value on one line: the text without its blanks when it is JSON, else as a
// JSON string. Numbers and keys stay as the server wrote them.
std::string AnswerValue(std::string_view AText, bool ACut) {
    if (ACut || AText.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return JsonString(AText);
    const simdjson::padded_string padded(AText);
    simdjson::dom::parser parser;
    simdjson::dom::element element;
    if (parser.parse(padded).get(element) != simdjson::SUCCESS)
        return JsonString(AText);
    std::string out(AText.size(), '\0');
    std::size_t length = 0;
    if (simdjson::minify(AText.data(), AText.size(), out.data(), length) != simdjson::SUCCESS)
        return JsonString(AText);
    out.resize(length);
    return out;
}

constexpr std::string_view RowPrefix = "{\"row\":";
constexpr std::string_view StatusPrefix = ",\"status\":\"";

// The row and whether it was answered, from the head of a line RowReadLine wrote.
struct TLineHead {
    std::int64_t Row = 0;
    bool Answered = false;
};

std::optional<TLineHead> LineHead(std::string_view ALine) {
    if (!ALine.starts_with(RowPrefix))
        return std::nullopt;
    std::size_t at = RowPrefix.size();
    TLineHead head;
    const std::size_t digits = at;
    while (at < ALine.size() && std::isdigit(static_cast<unsigned char>(ALine[at])) != 0)
        head.Row = head.Row * 10 + (ALine[at++] - '0');
    if (at == digits || ALine.substr(at, StatusPrefix.size()) != StatusPrefix)
        return std::nullopt;
    const std::string_view rest = ALine.substr(at + StatusPrefix.size());
    head.Answered = ReadAnswered(rest.substr(0, rest.find('"')));
    return head;
}

} // namespace

bool ReadAnswered(std::string_view AStatus) {
    return AStatus.size() == 3 && AStatus[0] == '2' &&
           std::all_of(AStatus.begin(), AStatus.end(),
                       [](unsigned char AChar) { return std::isdigit(AChar) != 0; });
}

std::string RowReadLine(const TRowRead& ARead) {
    return std::string(RowPrefix) + std::to_string(ARead.Row) +
           ",\"status\":" + JsonString(ARead.StatusText()) +
           ",\"answer\":" + AnswerValue(ARead.Answer, ARead.AnswerCut) + "}\n";
}

TRowBeforeCopies::TRowBeforeCopies(QString ACommand, QStringList AFields, qint64 ALimit)
    : FCommand(std::move(ACommand)), FFields(std::move(AFields)), FLimit(ALimit) {}

void TRowBeforeCopies::Add(const TRowRead& ARead) {
    std::string line = RowReadLine(ARead);
    const auto size = static_cast<qint64>(line.size());
    std::lock_guard lock(FLock);
    // Once one line is left out, the later ones are too: what is kept stays a run of rows.
    if (FDropped > 0 || FBytes + size > FLimit) {
        ++FDropped;
        FDroppedBytes += size;
        FDroppedFailed += ReadAnswered(ARead.StatusText()) ? 0 : 1;
        return;
    }
    FBytes += size;
    FLines.push_back({ARead.Row, std::move(line)});
}

bool TRowBeforeCopies::Empty() const {
    std::lock_guard lock(FLock);
    return FLines.empty() && FDropped == 0;
}

THistoryCall TRowBeforeCopies::Entry(const THistoryCall* APrevious, const QString& AURL,
                                     const QString& AFormat, const QDateTime& AWhen) const {
    std::vector<TLine> lines;
    qint64 dropped = 0;
    qint64 droppedBytes = 0;
    qint64 failed = 0;
    bool cut = false;
    if (APrevious != nullptr) {
        const std::string text = APrevious->Answer.toStdString();
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            end = end == std::string::npos ? text.size() : end + 1;
            const std::string_view line = std::string_view(text).substr(at, end - at);
            if (const std::optional<TLineHead> head = LineHead(line))
                lines.push_back({head->Row, std::string(line)});
            at = end;
        }
        cut = APrevious->AnswerCut;
    }
    {
        std::lock_guard lock(FLock);
        lines.insert(lines.end(), FLines.begin(), FLines.end());
        dropped = FDropped;
        droppedBytes = FDroppedBytes;
        failed = FDroppedFailed;
    }
    std::stable_sort(lines.begin(), lines.end(), [](const TLine& ALeft, const TLine& ARight) {
        return ALeft.Row < ARight.Row;
    });

    std::string text;
    qint64 reads = dropped;
    std::vector<qint64> failedRows;
    std::int64_t lastKept = 0;
    bool full = false;
    for (const TLine& line : lines) {
        ++reads;
        if (const std::optional<TLineHead> head = LineHead(line.Text); head && !head->Answered) {
            if (++failed <= TRunCounts::MaxListedRows)
                failedRows.push_back(line.Row);
        }
        full = full ||
               static_cast<qint64>(text.size()) + static_cast<qint64>(line.Text.size()) > FLimit;
        if (full) {
            ++dropped;
            droppedBytes += static_cast<qint64>(line.Text.size());
            continue;
        }
        text += line.Text;
        lastKept = line.Row;
    }
    cut = cut || dropped > 0;

    std::string summary = std::to_string(reads) + (reads == 1 ? " read" : " reads");
    if (failed > 0)
        summary += ", " + std::to_string(failed) + " failed (" + RowList(failedRows, failed) + ")";
    THistoryCall call;
    call.When = AWhen;
    call.URL = AURL;
    call.Command = FCommand;
    call.Fields = FFields;
    call.Format = AFormat;
    call.Outcome = failed > 0 ? THistoryOutcome::Error : THistoryOutcome::Answer;
    call.ErrorText = failed > 0 ? QString::fromStdString(summary) : QString();
    if (cut)
        summary += "; cut at " + DataSizeText(FLimit).toStdString() +
                   (lastKept > 0 ? ", the rows after row " + std::to_string(lastKept) + " not kept"
                                 : ", no row kept");
    call.StatusLine = QString::fromStdString(summary);
    call.AnswerSize = static_cast<qint64>(text.size()) + droppedBytes;
    call.AnswerCut = cut;
    call.AnswerUtf8 = QByteArray::fromStdString(text);
    return call;
}

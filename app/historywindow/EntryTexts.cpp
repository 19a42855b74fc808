#include "EntryTexts.h"

#include "DataSize.h"
#include "LineDiff.h"

#include <string>
#include <vector>

namespace {

QString WhenText(const THistoryCall& ACall) {
    return ACall.When.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Joined(const std::vector<std::u16string>& ALines) {
    std::u16string text;
    for (const std::u16string& line : ALines) {
        text += line;
        text += u'\n';
    }
    return QString::fromStdU16String(text);
}

// The Pretty lines of an answer short enough to be formatted here; nothing for a longer one.
std::optional<std::vector<std::u16string>> PaneLines(const THistoryCall& ACall) {
    if (ACall.Answer.size() > PaneAnswerChars)
        return std::nullopt;
    return PrettyLines(ACall.Answer.toStdU16String());
}

QString PaneText(const THistoryCall& ACall,
                 const std::optional<std::vector<std::u16string>>& ALines) {
    if (ALines)
        return Joined(*ALines);
    return QStringLiteral("This answer is too long to show here (%1): Open answer shows it.")
        .arg(DataSizeText(ACall.AnswerSize));
}

} // namespace

QString OutcomeText(const THistoryCall& ACall) {
    if (!ACall.StatusLine.isEmpty())
        return ACall.StatusLine;
    if (QString error = ACall.ErrorText.section(u'\n', 0, 0).trimmed(); !error.isEmpty())
        return error;
    return THistoryStore::OutcomeName(ACall.Outcome);
}

TEntryTexts EntryTextsOf(const THistoryCall& ACall, const std::optional<THistoryCall>& ABefore) {
    TEntryTexts texts;
    texts.Id = ACall.Id;
    texts.AnswerCaption = ACall.Outcome == THistoryOutcome::Answer
                              ? QStringLiteral("Answer of %1, %2: %3")
                                    .arg(ACall.Command, WhenText(ACall), OutcomeText(ACall))
                              : QStringLiteral("%1 failed: %2 (%3)")
                                    .arg(ACall.Command, OutcomeText(ACall), WhenText(ACall));
    const std::optional<std::vector<std::u16string>> answer = PaneLines(ACall);
    texts.Answer = PaneText(ACall, answer);
    if (ACall.BeforeCopyId <= 0)
        return texts;
    texts.HasBeforeCopy = true;
    texts.DiffCaption = QStringLiteral("Line diff of the before copy (-) against the answer (+)");
    if (!ABefore) {
        // The limits may drop the read before the call that names it.
        texts.BeforeCopyFailed = true;
        texts.BeforeCaption = QStringLiteral("The before copy is no longer in the history.");
        texts.Diff = texts.BeforeCaption;
        return texts;
    }
    // A read that failed or was cancelled is kept as it ended; the call went on all the same.
    texts.BeforeCopyFailed = ABefore->Outcome != THistoryOutcome::Answer;
    texts.BeforeCaption =
        texts.BeforeCopyFailed
            ? QStringLiteral("The before copy failed: %1 (%2, %3)")
                  .arg(OutcomeText(*ABefore), ABefore->Command, WhenText(*ABefore))
            : QStringLiteral("Before copy: %1, %2: %3")
                  .arg(ABefore->Command, WhenText(*ABefore), OutcomeText(*ABefore));
    const std::optional<std::vector<std::u16string>> before = PaneLines(*ABefore);
    texts.Before = PaneText(*ABefore, before);
    texts.Diff = before && answer
                     ? QString::fromStdU16String(DiffText(DiffLines(*before, *answer)))
                     : QStringLiteral("One of the answers is too long to compare here.");
    return texts;
}

TEntryTexts ReadEntryTexts(const QString& AFolder, qint64 AId) {
    THistoryStore store(AFolder);
    store.OpenForReading();
    const std::optional<THistoryCall> call = store.Load(AId);
    if (!call)
        throw EHistoryError(QStringLiteral("That call is no longer in the history."), false);
    return EntryTextsOf(*call,
                        call->BeforeCopyId > 0 ? store.Load(call->BeforeCopyId) : std::nullopt);
}

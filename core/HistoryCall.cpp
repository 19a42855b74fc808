#include "HistoryCall.h"

#include "SecretParams.h"
#include "SendRequest.h"

#include <algorithm>

THistoryCall BuildHistoryCall(const THistoryCallFacts& AFacts) {
    THistoryCall call;
    call.When = AFacts.When;
    call.URL = UrlForDisplay(AFacts.URL);
    call.Command = AFacts.Command;
    call.Fields = WithoutSecrets(AFacts.Fields, AFacts.SecretNames);
    call.Format = AFacts.JSON ? QStringLiteral("JSON") : QStringLiteral("Legacy");
    call.Outcome = AFacts.Outcome;
    call.ErrorText = AFacts.ErrorText;
    call.DurationMs = AFacts.DurationMs;
    if (AFacts.Answer) {
        call.StatusLine = QString::fromStdString(AFacts.Answer->StatusLine);
        call.ContentType = QString::fromStdString(AFacts.Answer->ContentType);
        call.CharSet = QString::fromStdString(AFacts.Answer->CharSet);
        call.AnswerSize = AFacts.Answer->Size;
    }
    return call;
}

void KeepAnswerText(THistoryCall& ACall, std::u16string_view AText, qint64 ALimit) {
    const auto limit = static_cast<std::size_t>(ALimit);
    const std::u16string_view kept = AText.substr(0, std::min(AText.size(), limit));
    ACall.Answer = QString::fromUtf16(kept.data(), static_cast<qsizetype>(kept.size()));
    ACall.AnswerCut = AText.size() > limit;
}

#include "HistoryCall.h"

#include "SecretParams.h"
#include "SendRequest.h"

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
    call.Profile = AFacts.Profile;
    if (AFacts.Answer) {
        call.StatusLine = QString::fromStdString(AFacts.Answer->StatusLine);
        call.ContentType = QString::fromStdString(AFacts.Answer->ContentType);
        call.CharSet = QString::fromStdString(AFacts.Answer->CharSet);
        call.AnswerSize = AFacts.Answer->Size;
    }
    return call;
}

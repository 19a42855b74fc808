#pragma once

#include "HistoryStore.h"

#include <QString>

#include <optional>

// What the history window's answer pane shows of one entry: its answer as the Pretty view shows
// it and, when the entry names a before copy, that read's answer and the line diff of the two,
// each under a caption that says what it is and how the call went. Made off the window's thread.
struct TEntryTexts {
    qint64 Id = 0;
    QString AnswerCaption;
    QString Answer;
    bool HasBeforeCopy = false;
    bool BeforeCopyFailed = false; // failed, cancelled or no longer kept
    QString BeforeCaption;
    QString Before;
    QString DiffCaption;
    QString Diff;
};

// Answers longer than this are not formatted for the pane: "Open answer" shows them whole.
inline constexpr qint64 PaneAnswerChars = qint64(2) << 20;

// How a call ended, in a few words: its status line, else the first line of its failure, else
// its outcome.
QString OutcomeText(const THistoryCall& ACall);

// The texts of ACall; ABefore is its before copy as read, nothing when it is no longer kept.
TEntryTexts EntryTextsOf(const THistoryCall& ACall, const std::optional<THistoryCall>& ABefore);

// Reads the entry AId and its before copy through a reading connection of its own and makes its
// texts; throws EHistoryError when the entry cannot be read, and when it is gone.
TEntryTexts ReadEntryTexts(const QString& AFolder, qint64 AId);

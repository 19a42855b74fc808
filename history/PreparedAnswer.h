#pragma once

#include "HistoryStore.h"

#include <QByteArray>

// What the store keeps of a call's answer, decided before any of it is written: the text cut to
// the limit at a character, the compressed blob (the caller's when it still holds all that is
// kept), and whether its words are indexed now or later.
struct TPreparedAnswer {
    // The UTF-8 text as kept, for the word index; empty when only a blob was given and no one
    // needs the text whole.
    QByteArray Text;
    QByteArray Blob;       // the kept text compressed; empty for an empty answer
    qint64 AnswerSize = 0; // bytes of the answer as received
    bool Cut = false;      // the text kept is less than the answer
    bool Deferred = false; // its words are indexed later
};

// ASearchable: the store has a word index. Only a blob made of more than is kept is unpacked.
TPreparedAnswer PrepareAnswer(const THistoryCall& ACall, const THistoryLimits& ALimits,
                              bool ASearchable, THistoryIndexing AIndexing);

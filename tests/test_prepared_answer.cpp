// What the store keeps of an answer, decided before any SQL: the cut at a character, the caller's
// compressed blob used or not, the text unpacked only where it is needed whole, and which answers
// have their words indexed later.

#include "AnswerBlob.h"
#include "HistoryStore.h"
#include "PreparedAnswer.h"

#include <gtest/gtest.h>

namespace {

// How the caller hands the answer over.
enum class TGiven { Text, Utf8, Utf8AndBlob, BlobOnly };
// The store it goes to: without a word index, or with one that indexes every answer now or
// leaves large ones for later.
enum class TStore { NoWordIndex, Immediate, DeferLarge };

struct TCase {
    const char* Name;
    TGiven Given;
    TStore Store;
    QByteArray Answer;
    // Expected:
    QByteArray Text; // for the word index
    QByteArray Kept; // what the blob holds
    bool ReusesBlob;
    bool Cut;
    bool Deferred;
    qint64 AnswerSize;
};

TEST(PreparedAnswer, CutsReusesUnpacksAndDefersAsNeeded) {
    // Above the size that defers indexing, so that one limit serves every case.
    THistoryLimits limits;
    limits.MaxAnswerBytes = THistoryStore::DeferIndexBytes + 1000;
    const QByteArray small("Gr\xC3\xBC\xC3\x9F Zephyrine");
    // ASCII bytes up to one short of the limit, then a two-byte character across it.
    const QByteArray cut(limits.MaxAnswerBytes - 1, 'a');
    const QByteArray across = cut + "\xC3\xA9" + QByteArray(500, 'b');
    const QByteArray large(THistoryStore::DeferIndexBytes + 1, 'x');
    const auto noIndex = TStore::NoWordIndex;
    const auto immediate = TStore::Immediate;
    const auto deferLarge = TStore::DeferLarge;
    const TCase cases[] = {
        {"a text, indexed now", TGiven::Text, immediate, small, small, small, false, false, false,
         small.size()},
        {"an empty text", TGiven::Text, immediate, QByteArray(), QByteArray(), QByteArray(), false,
         false, false, 0},
        {"UTF-8 cut at a character", TGiven::Utf8, immediate, across, cut, cut, false, true, false,
         across.size()},
        {"the caller's blob used", TGiven::Utf8AndBlob, immediate, small, small, small, true, false,
         false, small.size()},
        {"the caller's blob of more than is kept made again", TGiven::Utf8AndBlob, immediate,
         across, cut, cut, false, true, false, across.size()},
        {"a large text deferred", TGiven::Utf8, deferLarge, large, large, large, false, false, true,
         large.size()},
        {"a large text not deferred without a word index", TGiven::Utf8, noIndex, large, large,
         large, false, false, false, large.size()},
        {"a large text indexed now when asked", TGiven::Utf8, immediate, large, large, large, false,
         false, false, large.size()},
        {"a blob alone left packed when deferred", TGiven::BlobOnly, deferLarge, large,
         QByteArray(), large, true, false, true, large.size()},
        {"a blob alone left packed without a word index", TGiven::BlobOnly, noIndex, small,
         QByteArray(), small, true, false, false, small.size()},
        {"a blob alone unpacked to be indexed now", TGiven::BlobOnly, immediate, small, small,
         small, true, false, false, small.size()},
        {"a blob alone unpacked and cut beyond the limit", TGiven::BlobOnly, noIndex, across, cut,
         cut, false, true, false, across.size()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        THistoryCall call;
        const QByteArray blob = AnswerBlob::Compress(c.Answer);
        switch (c.Given) {
        case TGiven::Text:
            call.Answer = QString::fromUtf8(c.Answer);
            break;
        case TGiven::Utf8AndBlob:
            call.AnswerCompressed = blob;
            [[fallthrough]];
        case TGiven::Utf8:
            call.AnswerUtf8 = c.Answer;
            break;
        case TGiven::BlobOnly:
            call.AnswerCompressed = blob;
            call.AnswerTextBytes = c.Answer.size();
            break;
        }
        const TPreparedAnswer answer =
            PrepareAnswer(call, limits, c.Store != TStore::NoWordIndex,
                          c.Store == TStore::DeferLarge ? THistoryIndexing::DeferLarge
                                                        : THistoryIndexing::Immediate);
        EXPECT_EQ(answer.Text, c.Text);
        EXPECT_EQ(AnswerBlob::Decompress(answer.Blob), c.Kept);
        // The very bytes the caller made, not a copy or a blob made again.
        EXPECT_EQ(!blob.isEmpty() && answer.Blob.constData() == blob.constData(), c.ReusesBlob);
        EXPECT_EQ(answer.Cut, c.Cut);
        EXPECT_EQ(answer.Deferred, c.Deferred);
        EXPECT_EQ(answer.AnswerSize, c.AnswerSize);
    }
}

// What the caller measured and cut wins over what the store sees.
TEST(PreparedAnswer, KeepsTheCallersSizeAndCut) {
    THistoryCall call;
    call.Answer = QStringLiteral("{\"Result\":");
    call.AnswerSize = 5000;
    call.AnswerCut = true;
    const TPreparedAnswer answer =
        PrepareAnswer(call, THistoryLimits(), true, THistoryIndexing::Immediate);
    EXPECT_EQ(answer.AnswerSize, 5000);
    EXPECT_TRUE(answer.Cut);
    EXPECT_EQ(AnswerBlob::Decompress(answer.Blob), QByteArray("{\"Result\":"));
}

} // namespace

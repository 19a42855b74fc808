// The answers as the history keeps them: zstd frames made whole or piece by piece, the zlib form
// of earlier versions, and damaged or oversized blobs refused.

#include "AnswerBlob.h"
#include "HistoryStore.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

TEST(AnswerBlob, RoundTripsAndRefusesDamagedOrOversizedBlobs) {
    QByteArray noise;
    for (int i = 0; i < (1 << 20); ++i)
        noise.append(static_cast<char>(QRandomGenerator::global()->bounded(256)));
    for (const QByteArray& text :
         {QByteArray("{}"), QByteArray("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x83\x8F"),
          QByteArray(3 << 20, 'a'), noise}) {
        const QByteArray blob = AnswerBlob::Compress(text);
        EXPECT_EQ(AnswerBlob::Decompress(blob), text);
        EXPECT_EQ(AnswerBlob::Decompress(qCompress(text)), text); // an earlier version's form
        // Made piece by piece, the frame does not say how large its text is.
        AnswerBlob::TWriter writer;
        const qsizetype third = text.size() / 3;
        writer.Append(QByteArrayView(text).first(third));
        writer.Append(QByteArrayView(text).sliced(third, third));
        const QByteArray pieced = writer.Finish(QByteArrayView(text).sliced(2 * third));
        EXPECT_EQ(AnswerBlob::Decompress(pieced), text);
        if (text.size() > 1000) {
            EXPECT_TRUE(AnswerBlob::Decompress(pieced.first(pieced.size() - 100)).isEmpty());
        }
    }
    EXPECT_TRUE(AnswerBlob::Compress(QByteArray()).isEmpty());
    EXPECT_TRUE(AnswerBlob::Decompress(QByteArray()).isEmpty());

    const QByteArray blob = AnswerBlob::Compress(noise);
    QByteArray flipped = blob;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x5A);
    // A zstd frame whose header claims more text than a call can have (the frame header's
    // content size is 8 bytes after a descriptor of 0xE0: single segment, 8-byte size).
    QByteArray huge("\x28\xB5\x2F\xFD\xE0", 5);
    const quint64 claimed = quint64(1) << 40;
    for (int i = 0; i < 8; ++i)
        huge.append(static_cast<char>((claimed >> (8 * i)) & 0xFF));
    const struct {
        const char* Name;
        QByteArray Blob;
    } damaged[] = {
        {"cut short", blob.left(blob.size() / 2)},
        {"a byte changed", flipped},
        {"no frame at all", QByteArray("\x28\xB5\x2F\xFD", 4)},
        {"a huge zstd frame", huge},
        {"a huge zlib form", QByteArray("\x7F\xFF\xFF\xFF\x78\x01", 6)},
        {"garbage", QByteArray("not a blob")},
    };
    for (const auto& d : damaged)
        EXPECT_TRUE(AnswerBlob::Decompress(d.Blob).isEmpty()) << d.Name;

    // The zlib form inflates to exactly the length it claims: a claim of a few bytes does not
    // let a stream of many megabytes through, nor does a claim larger than the stream.
    const QByteArray zeros(qsizetype(64) << 20, '\0');
    QByteArray understated = qCompress(zeros);
    understated.replace(0, 4, QByteArray("\0\0\0\x10", 4));
    EXPECT_TRUE(AnswerBlob::Decompress(understated).isEmpty());
    QByteArray overstated = qCompress(QByteArray("sixteen bytes..."));
    overstated.replace(0, 4, QByteArray("\0\0\0\x11", 4));
    EXPECT_TRUE(AnswerBlob::Decompress(overstated).isEmpty());
    EXPECT_EQ(AnswerBlob::Decompress(qCompress(QByteArray())), QByteArray());

    // The versions that kept this form cut every answer to the limit first: a longer claim is
    // damage, however well the stream behind it inflates.
    const qsizetype limit = THistoryLimits{}.MaxAnswerBytes;
    EXPECT_EQ(AnswerBlob::Decompress(qCompress(QByteArray(limit, 'a'))).size(), limit);
    EXPECT_TRUE(AnswerBlob::Decompress(qCompress(QByteArray(limit + 1, 'a'))).isEmpty());
}

} // namespace

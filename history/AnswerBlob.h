#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct ZSTD_CCtx_s;

// How the history keeps an answer's text: as one compressed zstd frame, which is quick to make
// while a large answer is still arriving and quick to read back. Calls kept by earlier versions
// hold zlib's form instead (the text's length in four bytes, then a zlib stream); the first bytes
// of a blob tell the two apart.
namespace AnswerBlob {

// Makes one blob from a text given piece by piece.
class TWriter {
public:
    TWriter();
    ~TWriter();
    TWriter(const TWriter&) = delete;
    TWriter& operator=(const TWriter&) = delete;

    void Append(QByteArrayView AUtf8);
    // The blob, ALast being the text's last piece; empty for an empty text. A text given whole
    // here makes a frame that says how large it is. The writer is spent after it.
    QByteArray Finish(QByteArrayView ALast = {});

private:
    void Compress(QByteArrayView AUtf8, bool AEnd);

    struct TFreeContext {
        void operator()(ZSTD_CCtx_s* AContext) const;
    };
    std::unique_ptr<ZSTD_CCtx_s, TFreeContext> FContext;
    QByteArray FBlob;
    qsizetype FUsed = 0;
    bool FEmpty = true;
};

QByteArray Compress(QByteArrayView AUtf8);

// The text of ABlob in either form; empty when the blob is damaged or would make more than
// MaxTextBytes (zlib's form: more than the store's default limit on an answer, to which the
// versions that wrote it cut every answer), so a damaged or hostile file cannot make the reader
// take unbounded memory.
QByteArray Decompress(QByteArrayView ABlob);

inline constexpr qint64 MaxTextBytes = qint64(256) << 20;

} // namespace AnswerBlob

#pragma once

#include <QByteArray>
#include <QByteArrayView>

// How the history keeps an answer's text: as one compressed zstd frame, which is quick to make
// while a large answer is still arriving and quick to read back. Calls kept by earlier versions
// hold zlib's form instead (the text's length in four bytes, then a zlib stream); the first bytes
// of a blob tell the two apart.
namespace AnswerBlob {

QByteArray Compress(QByteArrayView AUtf8);

// The text of ABlob in either form; empty when the blob is damaged or would make more than
// MaxTextBytes, so a damaged or hostile file cannot make the reader take unbounded memory.
QByteArray Decompress(QByteArrayView ABlob);

inline constexpr qint64 MaxTextBytes = qint64(256) << 20;

} // namespace AnswerBlob

#include "AnswerBlob.h"

#include <zstd.h>

#include <memory>
#include <new>

namespace AnswerBlob {
namespace {

// The fastest level: a large answer is compressed while the rest of it is written out, and
// zstd's fastest level still packs JSON and logs tighter than zlib's default.
constexpr int Level = 1;

bool IsZstdFrame(QByteArrayView ABlob) {
    // A zlib-form blob starts with its text's length, big-endian, far below this value.
    return ABlob.size() >= 4 && static_cast<unsigned char>(ABlob[0]) == 0x28 &&
           static_cast<unsigned char>(ABlob[1]) == 0xB5 &&
           static_cast<unsigned char>(ABlob[2]) == 0x2F &&
           static_cast<unsigned char>(ABlob[3]) == 0xFD;
}

QByteArray DecompressZlibForm(QByteArrayView ABlob) {
    if (ABlob.size() < 4)
        return {};
    const auto byte = [&](int AIndex) {
        return static_cast<quint32>(static_cast<unsigned char>(ABlob[AIndex]));
    };
    const quint32 length = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
    if (length > MaxTextBytes)
        return {};
    return qUncompress(reinterpret_cast<const uchar*>(ABlob.data()), ABlob.size());
}

} // namespace

QByteArray Compress(QByteArrayView AUtf8) {
    if (AUtf8.isEmpty())
        return {};
    const std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(),
                                                                       &ZSTD_freeCCtx);
    if (!context)
        throw std::bad_alloc();
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, Level);
    // A checksum of the text, so that a damaged blob reads as damaged rather than as other text.
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    QByteArray blob(static_cast<qsizetype>(ZSTD_compressBound(static_cast<size_t>(AUtf8.size()))),
                    Qt::Uninitialized);
    const size_t size = ZSTD_compress2(context.get(), blob.data(), static_cast<size_t>(blob.size()),
                                       AUtf8.data(), static_cast<size_t>(AUtf8.size()));
    // With room for the worst case the only failure left is memory.
    if (ZSTD_isError(size) != 0)
        throw std::bad_alloc();
    // The room reserved for the worst case goes back; the copy is the small compressed one.
    return QByteArray(blob.constData(), static_cast<qsizetype>(size));
}

QByteArray Decompress(QByteArrayView ABlob) {
    if (ABlob.isEmpty())
        return {};
    if (!IsZstdFrame(ABlob))
        return DecompressZlibForm(ABlob);
    const unsigned long long size = ZSTD_getFrameContentSize(ABlob.data(), ABlob.size());
    if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN ||
        size > static_cast<unsigned long long>(MaxTextBytes))
        return {};
    QByteArray text(static_cast<qsizetype>(size), Qt::Uninitialized);
    const size_t made = ZSTD_decompress(text.data(), static_cast<size_t>(text.size()), ABlob.data(),
                                        static_cast<size_t>(ABlob.size()));
    if (ZSTD_isError(made) != 0 || made != size)
        return {};
    return text;
}

} // namespace AnswerBlob

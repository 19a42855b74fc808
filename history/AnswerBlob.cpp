#include "AnswerBlob.h"

#include "HistoryStore.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
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
    // The versions that kept this form cut every answer to the store's limit first.
    if (length > THistoryLimits{}.MaxAnswerBytes)
        return {};
    // Inflated by hand into exactly the length the blob claims: a stream that makes more (a
    // tiny blob may claim a few bytes and inflate to gigabytes) or less is damaged, and never
    // costs more memory than the claim.
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        throw std::bad_alloc();
    const std::unique_ptr<z_stream, decltype(&inflateEnd)> end(&stream, &inflateEnd);
    QByteArray text(static_cast<qsizetype>(length), Qt::Uninitialized);
    // One byte more than claimed, so that a stream going past the claim is seen.
    char beyond = 0;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(ABlob.data() + 4));
    stream.avail_in = static_cast<uInt>(ABlob.size() - 4);
    stream.next_out = reinterpret_cast<Bytef*>(text.data());
    stream.avail_out = length;
    int result = inflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END && stream.avail_out == 0) {
        stream.next_out = reinterpret_cast<Bytef*>(&beyond);
        stream.avail_out = 1;
        result = inflate(&stream, Z_FINISH);
        if (stream.avail_out == 0)
            return {};
    }
    if (result != Z_STREAM_END || stream.total_out != length)
        return {};
    return text;
}

// A frame made piece by piece does not say how large its text is: it is read in steps, up to
// MaxTextBytes.
QByteArray DecompressUnsized(QByteArrayView ABlob) {
    const std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(),
                                                                       &ZSTD_freeDCtx);
    if (!context)
        throw std::bad_alloc();
    QByteArray text;
    ZSTD_inBuffer in{ABlob.data(), static_cast<size_t>(ABlob.size()), 0};
    size_t used = 0;
    for (;;) {
        if (used == static_cast<size_t>(text.size())) {
            if (text.size() >= MaxTextBytes)
                return {};
            text.resize(std::min<qsizetype>(
                MaxTextBytes, std::max<qsizetype>(qsizetype(1) << 20, text.size() * 2)));
        }
        ZSTD_outBuffer out{text.data(), static_cast<size_t>(text.size()), used};
        const size_t left = ZSTD_decompressStream(context.get(), &out, &in);
        used = out.pos;
        if (ZSTD_isError(left) != 0)
            return {};
        if (left == 0) // the frame is complete; anything after it is not ours
            break;
        if (in.pos == in.size && out.pos < out.size)
            return {}; // cut short
    }
    text.truncate(static_cast<qsizetype>(used));
    return text;
}

} // namespace

void TWriter::TFreeContext::operator()(ZSTD_CCtx_s* AContext) const {
    ZSTD_freeCCtx(AContext);
}

TWriter::TWriter() : FContext(ZSTD_createCCtx()) {
    if (!FContext)
        throw std::bad_alloc();
    ZSTD_CCtx_setParameter(FContext.get(), ZSTD_c_compressionLevel, Level);
    // A checksum of the text, so that a damaged blob reads as damaged rather than as other text.
    ZSTD_CCtx_setParameter(FContext.get(), ZSTD_c_checksumFlag, 1);
}

TWriter::~TWriter() = default;

void TWriter::Append(QByteArrayView AUtf8) {
    if (AUtf8.isEmpty())
        return;
    FEmpty = false;
    Compress(AUtf8, false);
}

QByteArray TWriter::Finish(QByteArrayView ALast) {
    if (FEmpty && ALast.isEmpty())
        return {};
    Compress(ALast, true);
    FBlob.truncate(FUsed);
    // The room kept for what was still to come goes back.
    FBlob.squeeze();
    return std::move(FBlob);
}

void TWriter::Compress(QByteArrayView AUtf8, bool AEnd) {
    ZSTD_inBuffer in{AUtf8.data(), static_cast<size_t>(AUtf8.size()), 0};
    for (;;) {
        // Room for at least one block's output, grown by half each time.
        const auto room = static_cast<qsizetype>(ZSTD_CStreamOutSize());
        if (FBlob.size() - FUsed < room)
            FBlob.resize(std::max(FUsed + room, FBlob.size() + FBlob.size() / 2));
        ZSTD_outBuffer out{FBlob.data(), static_cast<size_t>(FBlob.size()),
                           static_cast<size_t>(FUsed)};
        const size_t left =
            ZSTD_compressStream2(FContext.get(), &out, &in, AEnd ? ZSTD_e_end : ZSTD_e_continue);
        FUsed = static_cast<qsizetype>(out.pos);
        // The only failure left with room to write into is memory.
        if (ZSTD_isError(left) != 0)
            throw std::bad_alloc();
        if (AEnd ? left == 0 : in.pos == in.size)
            return;
    }
}

QByteArray Compress(QByteArrayView AUtf8) {
    return TWriter().Finish(AUtf8);
}

QByteArray Decompress(QByteArrayView ABlob) {
    if (ABlob.isEmpty())
        return {};
    if (!IsZstdFrame(ABlob))
        return DecompressZlibForm(ABlob);
    const unsigned long long size = ZSTD_getFrameContentSize(ABlob.data(), ABlob.size());
    if (size == ZSTD_CONTENTSIZE_UNKNOWN)
        return DecompressUnsized(ABlob);
    if (size == ZSTD_CONTENTSIZE_ERROR || size > static_cast<unsigned long long>(MaxTextBytes))
        return {};
    QByteArray text(static_cast<qsizetype>(size), Qt::Uninitialized);
    const size_t made = ZSTD_decompress(text.data(), static_cast<size_t>(text.size()), ABlob.data(),
                                        static_cast<size_t>(ABlob.size()));
    if (ZSTD_isError(made) != 0 || made != size)
        return {};
    return text;
}

} // namespace AnswerBlob

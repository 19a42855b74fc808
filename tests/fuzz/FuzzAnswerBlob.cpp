// A stored answer's blob as read from a history file of any origin: in zstd's form or zlib's,
// damaged or hostile, it reads as a text of at most MaxTextBytes or as damaged (empty), never
// more; and any text kept reads back as it was.

#include "AnswerBlob.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const QByteArray input(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize));
    if (AnswerBlob::Decompress(input).size() > AnswerBlob::MaxTextBytes) {
        std::fprintf(stderr, "a blob read as more than the reader's limit\n");
        std::abort();
    }
    if (AnswerBlob::Decompress(AnswerBlob::Compress(input)) != input) {
        std::fprintf(stderr, "a text compressed did not read back as it was\n");
        std::abort();
    }
    return 0;
}

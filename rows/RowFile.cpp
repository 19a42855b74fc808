#include "RowFile.h"

#include "RowSource.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::optional<TRowFormat> RowFormatNamed(std::string_view AName) {
    if (AName == "csv")
        return TRowFormat::Csv;
    if (AName == "jsonl")
        return TRowFormat::JsonLines;
    return std::nullopt;
}

std::optional<TRowFormat> RowFormatOfFile(std::string_view APath) {
    const std::size_t dot = APath.rfind('.');
    if (dot == std::string_view::npos || APath.find('/', dot) != std::string_view::npos)
        return std::nullopt;
    std::string extension(APath.substr(dot + 1));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "csv")
        return TRowFormat::Csv;
    if (extension == "jsonl" || extension == "ndjson")
        return TRowFormat::JsonLines;
    return std::nullopt;
}

std::string RowFormatName(TRowFormat AFormat) {
    return AFormat == TRowFormat::Csv ? "csv" : "jsonl";
}

void CheckUtf8(std::string_view AText, std::int64_t ALine, std::int64_t AColumn) {
    if (!simdjson::validate_utf8(AText.data(), AText.size()))
        throw ERowSyntax("not UTF-8 text", ALine, AColumn);
}

TRowFile::TSource::TSource(const std::string& APath)
    : FFd(::open(APath.c_str(), O_RDONLY | O_CLOEXEC)), FBuffer(std::size_t(64) << 10),
      FDigest(EVP_MD_CTX_new()) {
    if (FFd < 0) {
        const std::string why = std::strerror(errno);
        EVP_MD_CTX_free(FDigest);
        throw ERowFileError("Cannot open " + APath + ": " + why);
    }
    EVP_DigestInit_ex(FDigest, EVP_sha256(), nullptr);
}

TRowFile::TSource::~TSource() {
    ::close(FFd);
    EVP_MD_CTX_free(FDigest);
}

bool TRowFile::TSource::Fill() {
    for (;;) {
        const ssize_t got = ::read(FFd, FBuffer.data(), FBuffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ERowFileError(std::string("Cannot read the file: ") + std::strerror(errno));
        EVP_DigestUpdate(FDigest, FBuffer.data(), static_cast<std::size_t>(got));
        FAt = 0;
        FEnd = static_cast<std::size_t>(got);
        if (!FStarted) {
            FStarted = true;
            if (FEnd >= 3 && std::memcmp(FBuffer.data(), "\xEF\xBB\xBF", 3) == 0)
                FAt = 3;
        }
        return FAt < FEnd;
    }
}

std::string TRowFile::TSource::Sha256() const {
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    EVP_MD_CTX_copy_ex(copy, FDigest);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(copy, digest, &size);
    EVP_MD_CTX_free(copy);
    static constexpr char Hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += Hex[digest[i] >> 4];
        text += Hex[digest[i] & 15];
    }
    return text;
}

TRowFile::TRowFile(const std::string& APath, TRowFormat AFormat)
    : FSource(std::make_unique<TSource>(APath)),
      FParser(AFormat == TRowFormat::Csv ? MakeCsvParser() : MakeJsonLinesParser()) {}

TRowFile::~TRowFile() = default;

bool TRowFile::Next(TFileRow& ARow) {
    return FParser->Next(*FSource, ARow);
}

const std::vector<std::string>& TRowFile::Header() {
    return FParser->Header(*FSource);
}

std::string TRowFile::Sha256() const {
    return FSource->Sha256();
}

std::string FileSha256(const std::string& APath) {
    TRowFile::TSource source(APath);
    while (source.Get() >= 0) {
    }
    return source.Sha256();
}

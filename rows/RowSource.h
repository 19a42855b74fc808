#pragma once

#include "RowFile.h"

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a row file, read in pieces and hashed as they are read, with the line and column
// of the byte in hand. Used by the parsers only.
class TRowFile::TSource {
public:
    explicit TSource(const std::string& APath);
    ~TSource();
    TSource(const TSource&) = delete;
    TSource& operator=(const TSource&) = delete;

    // The next byte, or -1 at the end of the file. A byte order mark at the start is skipped.
    int Get() {
        if (FAt == FEnd && !Fill())
            return -1;
        const auto byte = static_cast<unsigned char>(FBuffer[FAt++]);
        Advance(byte);
        return byte;
    }
    // The next byte without taking it, or -1.
    int Peek() {
        if (FAt == FEnd && !Fill())
            return -1;
        return static_cast<unsigned char>(FBuffer[FAt]);
    }
    // Where the next byte is.
    std::int64_t Line() const { return FLine; }
    std::int64_t Column() const { return FColumn; }
    std::string Sha256() const;

private:
    void Advance(unsigned char AByte) {
        if (AByte == '\n' || (AByte == '\r' && Peek() != '\n')) {
            ++FLine;
            FColumn = 1;
        } else if ((AByte & 0xC0) != 0x80) {
            ++FColumn;
        }
    }
    bool Fill();

    int FFd = -1;
    std::vector<char> FBuffer;
    std::size_t FAt = 0;
    std::size_t FEnd = 0;
    bool FStarted = false;
    std::int64_t FLine = 1;
    std::int64_t FColumn = 1;
    EVP_MD_CTX* FDigest = nullptr;
};

// Reads the rows of one format from a source.
class TRowFile::TParser {
public:
    virtual ~TParser() = default;
    virtual bool Next(TSource& ASource, TFileRow& ARow) = 0;
    virtual const std::vector<std::string>& Header(TSource& ASource) = 0;
};

std::unique_ptr<TRowFile::TParser> MakeCsvParser();
std::unique_ptr<TRowFile::TParser> MakeJsonLinesParser();

// Throws ERowSyntax at ALine and AColumn when AText is not UTF-8.
void CheckUtf8(std::string_view AText, std::int64_t ALine, std::int64_t AColumn);

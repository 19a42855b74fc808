#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The rows of a CSV (RFC 4180) or JSON Lines file, read as a stream: one row at a time, so that
// memory does not grow with the file.

enum class TRowFormat { Csv, JsonLines };

// "csv" or "jsonl" (as --rows-format names them); nothing for another name.
std::optional<TRowFormat> RowFormatNamed(std::string_view AName);
// By the file's extension: .csv, .jsonl or .ndjson, in any case.
std::optional<TRowFormat> RowFormatOfFile(std::string_view APath);
std::string RowFormatName(TRowFormat AFormat);

// One value of a row: the parameter's name as the file writes it and the value as UTF-8.
struct TRowValue {
    std::string Name;
    std::string Value;
};

struct TFileRow {
    std::int64_t Number = 0; // 1 for the first row after a CSV file's header
    std::int64_t Line = 0;   // the line it starts on
    std::vector<TRowValue> Values;
};

// A file that cannot be read as rows, with the line and column (in characters, from 1) of the
// first fault. what() is the message without the position.
class ERowSyntax : public std::runtime_error {
public:
    ERowSyntax(const std::string& AMessage, std::int64_t ALine, std::int64_t AColumn)
        : std::runtime_error(AMessage), Line(ALine), Column(AColumn) {}
    std::int64_t Line;
    std::int64_t Column;
};

// The file could not be opened or read.
class ERowFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest row taken: a file without line ends cannot take all memory.
inline constexpr std::size_t MaxRowBytes = std::size_t(16) << 20;

class TRowFile {
public:
    // Opens APath; throws ERowFileError. A CSV file's header is read at the first Next (or
    // Header).
    TRowFile(const std::string& APath, TRowFormat AFormat);
    ~TRowFile();
    TRowFile(const TRowFile&) = delete;
    TRowFile& operator=(const TRowFile&) = delete;

    // The next row; false at the end of the file. Throws ERowSyntax, ERowFileError.
    bool Next(TFileRow& ARow);
    // A CSV file's column names (read now when not yet); empty for JSON Lines.
    const std::vector<std::string>& Header();
    // The SHA-256 of the bytes read so far, in lower-case hexadecimal: of the whole file once
    // Next has said the end.
    std::string Sha256() const;

    class TSource;
    class TParser;

private:
    std::unique_ptr<TSource> FSource;
    std::unique_ptr<TParser> FParser;
};

// The SHA-256 of a whole file, in lower-case hexadecimal; throws ERowFileError.
std::string FileSha256(const std::string& APath);

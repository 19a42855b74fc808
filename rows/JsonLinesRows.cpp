// JSON Lines: one object per line, its keys the parameters' names, its values strings or
// numbers (a number is sent as the file writes it). Lines with nothing but blanks are skipped.

#include "RowSource.h"

#include <simdjson.h>

#include <algorithm>

namespace {

namespace od = simdjson::ondemand;

class TJsonLinesParser : public TRowFile::TParser {
public:
    bool Next(TRowFile::TSource& ASource, TFileRow& ARow) override {
        for (;;) {
            const std::int64_t line = ASource.Line();
            if (!ReadLine(ASource, line))
                return false;
            if (std::all_of(FLine.begin(), FLine.end(), [](char AChar) {
                    return AChar == ' ' || AChar == '\t' || AChar == '\r';
                }))
                continue;
            ARow.Number = ++FRows;
            ARow.Line = line;
            Parse(line, ARow);
            return true;
        }
    }

    const std::vector<std::string>& Header(TRowFile::TSource&) override { return FNoHeader; }

private:
    // The next line without its line end into FLine; false at the end of the file.
    bool ReadLine(TRowFile::TSource& ASource, std::int64_t ALine) {
        FLine.clear();
        int c = ASource.Get();
        if (c < 0)
            return false;
        while (c >= 0 && c != '\n') {
            FLine += static_cast<char>(c);
            if (FLine.size() > MaxRowBytes)
                throw ERowSyntax("the line is longer than " + std::to_string(MaxRowBytes >> 20) +
                                     " MiB",
                                 ALine, 1);
            c = ASource.Get();
        }
        if (!FLine.empty() && FLine.back() == '\r')
            FLine.pop_back();
        return true;
    }

    // The column, in characters, of APosition in the line.
    std::int64_t ColumnOf(const char* APosition) const {
        const char* begin = FPadded.data();
        const auto offset = std::clamp<std::ptrdiff_t>(APosition - begin, 0,
                                                       static_cast<std::ptrdiff_t>(FLine.size()));
        return 1 + std::count_if(begin, begin + offset, [](char AChar) {
                   return (static_cast<unsigned char>(AChar) & 0xC0) != 0x80;
               });
    }

    [[noreturn]] void Fail(const std::string& AMessage, std::int64_t ALine,
                           od::document& ADocument) {
        const char* at = nullptr;
        std::int64_t column = 1;
        if (ADocument.current_location().get(at) == simdjson::SUCCESS)
            column = ColumnOf(at);
        else
            column = static_cast<std::int64_t>(FLine.size()) + 1;
        throw ERowSyntax(AMessage, ALine, column);
    }

    void Parse(std::int64_t ALine, TFileRow& ARow) {
        CheckUtf8(FLine, ALine, 1);
        FPadded.assign(FLine);
        FPadded.append(simdjson::SIMDJSON_PADDING, '\0');
        od::document document;
        if (FParser.iterate(FPadded.data(), FLine.size(), FPadded.size()).get(document) !=
            simdjson::SUCCESS)
            throw ERowSyntax("not JSON", ALine, 1);
        od::object object;
        if (const simdjson::error_code error = document.get_object().get(object);
            error != simdjson::SUCCESS)
            throw ERowSyntax(FLine.find_first_not_of(" \t") != std::string::npos &&
                                     FLine[FLine.find_first_not_of(" \t")] == '{'
                                 ? "not a valid JSON object"
                                 : "the line is not a JSON object",
                             ALine, 1);
        ARow.Values.clear();
        for (auto field : object) {
            std::string_view key;
            if (field.unescaped_key().get(key) != simdjson::SUCCESS)
                Fail("not a valid JSON object", ALine, document);
            TRowValue value{std::string(key), {}};
            if (std::any_of(ARow.Values.begin(), ARow.Values.end(),
                            [&](const TRowValue& AOther) { return AOther.Name == value.Name; }))
                Fail("the key \"" + value.Name + "\" is given twice", ALine, document);
            od::value json;
            od::json_type type{};
            if (field.value().get(json) != simdjson::SUCCESS ||
                json.type().get(type) != simdjson::SUCCESS)
                Fail("not a valid JSON object", ALine, document);
            std::string_view token = json.raw_json_token();
            const std::int64_t column = ColumnOf(token.data());
            if (type == od::json_type::string) {
                std::string_view text;
                if (json.get_string().get(text) != simdjson::SUCCESS)
                    throw ERowSyntax("not a valid JSON string", ALine, column);
                value.Value = text;
            } else if (type == od::json_type::number) {
                od::number number;
                if (json.get_number().get(number) != simdjson::SUCCESS)
                    throw ERowSyntax("not a valid JSON number", ALine, column);
                while (!token.empty() && (token.back() == ' ' || token.back() == '\t' ||
                                          token.back() == '\r' || token.back() == '\n'))
                    token.remove_suffix(1);
                value.Value = token;
            } else {
                throw ERowSyntax("the value of \"" + value.Name +
                                     "\" is neither a string nor a number",
                                 ALine, column);
            }
            ARow.Values.push_back(std::move(value));
        }
        // Once the object is read, the document has a place to point at only when more follows.
        const char* rest = nullptr;
        if (document.current_location().get(rest) == simdjson::SUCCESS)
            throw ERowSyntax("more after the JSON object", ALine, ColumnOf(rest));
    }

    std::vector<std::string> FNoHeader;
    std::string FLine;
    std::string FPadded;
    od::parser FParser;
    std::int64_t FRows = 0;
};

} // namespace

std::unique_ptr<TRowFile::TParser> MakeJsonLinesParser() {
    return std::make_unique<TJsonLinesParser>();
}

// CSV as RFC 4180 writes it: a header row of names, fields separated by commas, a field in double
// quotes when it holds a comma, a quote (written twice) or a line break, lines ending in CRLF or
// LF. Lines with nothing on them are skipped.

#include "RowSource.h"

#include <algorithm>
#include <cctype>

namespace {

struct TField {
    std::string Text;
    std::int64_t Line = 0;
    std::int64_t Column = 0;
};

class TCsvParser : public TRowFile::TParser {
public:
    bool Next(TRowFile::TSource& ASource, TFileRow& ARow) override {
        Header(ASource);
        std::int64_t line = 0;
        if (!Record(ASource, line))
            return false;
        if (FFields.size() != FHeader.size()) {
            const bool many = FFields.size() > FHeader.size();
            const TField& at = many ? FFields[FHeader.size()] : FFields.back();
            throw ERowSyntax("this row has " + std::to_string(FFields.size()) +
                                 (FFields.size() == 1 ? " field" : " fields") + ", the header " +
                                 std::to_string(FHeader.size()),
                             at.Line, at.Column);
        }
        ARow.Number = ++FRows;
        ARow.Line = line;
        ARow.Values.resize(FFields.size());
        for (std::size_t i = 0; i < FFields.size(); ++i) {
            ARow.Values[i].Name = FHeader[i];
            ARow.Values[i].Value = std::move(FFields[i].Text);
        }
        return true;
    }

    const std::vector<std::string>& Header(TRowFile::TSource& ASource) override {
        if (FHeaderRead)
            return FHeader;
        FHeaderRead = true;
        std::int64_t line = 0;
        if (!Record(ASource, line))
            throw ERowSyntax("the file is empty: it needs a header row of parameter names", 1, 1);
        for (TField& field : FFields) {
            std::string name = field.Text;
            const auto blank = [](unsigned char AChar) { return std::isspace(AChar) != 0; };
            name.erase(name.begin(), std::find_if_not(name.begin(), name.end(), blank));
            name.erase(std::find_if_not(name.rbegin(), name.rend(), blank).base(), name.end());
            if (name.empty())
                throw ERowSyntax("a column of the header has no name", field.Line, field.Column);
            FHeader.push_back(std::move(name));
        }
        return FHeader;
    }

private:
    // Reads one record into FFields; false at the end of the file.
    bool Record(TRowFile::TSource& ASource, std::int64_t& ALine) {
        FFields.clear();
        std::size_t bytes = 0;
        for (;;) {
            // A new field.
            TField field{{}, ASource.Line(), ASource.Column()};
            if (FFields.empty())
                ALine = field.Line;
            int c = ASource.Get();
            if (FFields.empty() && (c == '\n' || c == '\r')) {
                if (c == '\r' && ASource.Peek() == '\n')
                    ASource.Get();
                continue; // an empty line
            }
            if (FFields.empty() && c < 0)
                return false;
            bool lineEnd = false;
            if (c == '"') {
                for (;;) {
                    c = ASource.Get();
                    if (c < 0)
                        throw ERowSyntax("the quoted field that starts here is not closed",
                                         field.Line, field.Column);
                    if (c == '"') {
                        if (ASource.Peek() != '"')
                            break;
                        ASource.Get();
                    }
                    field.Text += static_cast<char>(c);
                    Grow(bytes, field);
                }
                const std::int64_t line = ASource.Line(), column = ASource.Column();
                c = ASource.Get();
                if (c >= 0 && c != ',' && c != '\n' && c != '\r')
                    throw ERowSyntax("text after the closing quote of a field", line, column);
            } else {
                while (c >= 0 && c != ',' && c != '\n' && c != '\r') {
                    if (c == '"')
                        throw ERowSyntax("a quote inside a field that does not start with one",
                                         ASource.Line(), ASource.Column() - 1);
                    field.Text += static_cast<char>(c);
                    Grow(bytes, field);
                    c = ASource.Get();
                }
            }
            if (c == '\r' && ASource.Peek() == '\n')
                ASource.Get();
            lineEnd = c != ',';
            CheckUtf8(field.Text, field.Line, field.Column);
            FFields.push_back(std::move(field));
            if (lineEnd)
                return true;
        }
    }

    void Grow(std::size_t& ABytes, const TField& AField) {
        if (++ABytes > MaxRowBytes)
            throw ERowSyntax("the row is longer than " + std::to_string(MaxRowBytes >> 20) + " MiB",
                             AField.Line, AField.Column);
    }

    bool FHeaderRead = false;
    std::vector<std::string> FHeader;
    std::vector<TField> FFields;
    std::int64_t FRows = 0;
};

} // namespace

std::unique_ptr<TRowFile::TParser> MakeCsvParser() {
    return std::make_unique<TCsvParser>();
}

#include "AnswerTree.h"

#include <simdjson.h>

#include <algorithm>
#include <stdexcept>

namespace od = simdjson::ondemand;

namespace {

// Builds the nodes in one pass of simdjson's on-demand parser over the answer.
class TTreeBuilder {
public:
    TTreeBuilder(const char* ABase, std::vector<TAnswerNode>& ANodes)
        : FBase(ABase), FNodes(ANodes) {}

    void Value(od::value AValue, std::uint32_t AParent) {
        od::json_type type{};
        Check(AValue.type().get(type));
        const std::string_view token = AValue.raw_json_token();
        const auto index = static_cast<std::uint32_t>(FNodes.size());
        TAnswerNode node;
        node.Offset = static_cast<std::uint32_t>(token.data() - FBase);
        node.Parent = AParent;
        switch (type) {
        case od::json_type::object: {
            FNodes.push_back(node);
            od::object object;
            Check(AValue.get_object().get(object));
            std::uint32_t count = 0;
            for (auto field : object) {
                od::field member;
                Check(std::move(field).get(member));
                Value(member.value(), index);
                ++count;
            }
            FNodes[index].Length = count;
            break;
        }
        case od::json_type::array: {
            FNodes.push_back(node);
            od::array array;
            Check(AValue.get_array().get(array));
            std::uint32_t count = 0;
            for (auto element : array) {
                od::value item;
                Check(element.get(item));
                Value(item, index);
                ++count;
            }
            FNodes[index].Length = count;
            break;
        }
        default:
            node.Length = static_cast<std::uint32_t>(Trimmed(token).size());
            CheckScalar(AValue, type);
            FNodes.push_back(node);
            break;
        }
        FNodes[index].End = static_cast<std::uint32_t>(FNodes.size());
    }

    void Scalar(od::document& ADocument, od::json_type AType) {
        std::string_view token;
        Check(ADocument.raw_json_token().get(token));
        TAnswerNode node;
        node.Offset = static_cast<std::uint32_t>(token.data() - FBase);
        node.Length = static_cast<std::uint32_t>(Trimmed(token).size());
        node.Parent = NoNode;
        node.End = 1;
        switch (AType) {
        case od::json_type::number:
            CheckNumber(token);
            break;
        case od::json_type::string:
            Check(ADocument.get_string().error());
            break;
        case od::json_type::boolean:
            Check(ADocument.get_bool().error());
            break;
        default:
            bool null = false;
            Check(ADocument.is_null().get(null));
            if (!null)
                Check(simdjson::INCORRECT_TYPE);
        }
        FNodes.push_back(node);
    }

    static void Check(simdjson::error_code AError) {
        if (AError != simdjson::SUCCESS)
            throw std::runtime_error(simdjson::error_message(AError));
    }

private:
    static std::string_view Trimmed(std::string_view AToken) {
        while (!AToken.empty() && (AToken.back() == ' ' || AToken.back() == '\t' ||
                                   AToken.back() == '\n' || AToken.back() == '\r'))
            AToken.remove_suffix(1);
        return AToken;
    }

    // A number by JSON's grammar, of any size: simdjson's own reading stops at a double's range,
    // and numbers are kept as written.
    static void CheckNumber(std::string_view AToken) {
        const std::string_view token = Trimmed(AToken);
        std::size_t at = 0;
        const auto digits = [&] {
            const std::size_t start = at;
            while (at < token.size() && token[at] >= '0' && token[at] <= '9')
                ++at;
            return at - start;
        };
        if (at < token.size() && token[at] == '-')
            ++at;
        const bool leadingZero = at < token.size() && token[at] == '0';
        const std::size_t whole = digits();
        bool ok = whole > 0 && (!leadingZero || whole == 1);
        if (ok && at < token.size() && token[at] == '.') {
            ++at;
            ok = digits() > 0;
        }
        if (ok && at < token.size() && (token[at] == 'e' || token[at] == 'E')) {
            ++at;
            if (at < token.size() && (token[at] == '+' || token[at] == '-'))
                ++at;
            ok = digits() > 0;
        }
        if (!ok || at != token.size())
            Check(simdjson::NUMBER_ERROR);
    }

    // Reads a scalar fully, so that a malformed one is found now.
    static void CheckScalar(od::value& AValue, od::json_type AType) {
        switch (AType) {
        case od::json_type::number:
            CheckNumber(AValue.raw_json_token());
            break;
        case od::json_type::string:
            Check(AValue.get_raw_json_string().error());
            break;
        case od::json_type::boolean:
            Check(AValue.get_bool().error());
            break;
        default: {
            bool null = false;
            Check(AValue.is_null().get(null));
            if (!null)
                Check(simdjson::INCORRECT_TYPE);
        }
        }
    }

    const char* FBase;
    std::vector<TAnswerNode>& FNodes;
};

bool IsBlank(char AChar) {
    return AChar == ' ' || AChar == '\t' || AChar == '\n' || AChar == '\r';
}

bool IsContainer(TNodeKind AKind) {
    return AKind == TNodeKind::Object || AKind == TNodeKind::Array;
}

bool IsIdentifier(std::string_view AKey) {
    if (AKey.empty() || (AKey[0] >= '0' && AKey[0] <= '9'))
        return false;
    return std::all_of(AKey.begin(), AKey.end(), [](char AChar) {
        return (AChar >= 'a' && AChar <= 'z') || (AChar >= 'A' && AChar <= 'Z') ||
               (AChar >= '0' && AChar <= '9') || AChar == '_';
    });
}

void AppendUtf8(std::uint32_t ACode, std::string& AOut) {
    if (ACode < 0x80) {
        AOut += static_cast<char>(ACode);
    } else if (ACode < 0x800) {
        AOut += static_cast<char>(0xC0 | (ACode >> 6));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else if (ACode < 0x10000) {
        AOut += static_cast<char>(0xE0 | (ACode >> 12));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    } else {
        AOut += static_cast<char>(0xF0 | (ACode >> 18));
        AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
        AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
        AOut += static_cast<char>(0x80 | (ACode & 0x3F));
    }
}

std::uint32_t Hex4(std::string_view AText, std::size_t AAt) {
    std::uint32_t code = 0;
    for (std::size_t i = AAt; i < AAt + 4 && i < AText.size(); ++i) {
        const char c = AText[i];
        code = code * 16 + static_cast<std::uint32_t>(c <= '9'   ? c - '0'
                                                      : c <= 'F' ? c - 'A' + 10
                                                                 : c - 'a' + 10);
    }
    return code;
}

// Appends the character of the \u escape whose hex digits start at AAt (a surrogate pair as
// one); returns the index of its last digit.
std::size_t AppendCodePoint(std::string_view AText, std::size_t AAt, std::string& AOut) {
    std::uint32_t code = Hex4(AText, AAt);
    std::size_t last = AAt + 3;
    if (code >= 0xD800 && code < 0xDC00 && last + 6 < AText.size() && AText[last + 1] == '\\' &&
        AText[last + 2] == 'u') {
        const std::uint32_t low = Hex4(AText, last + 3);
        if (low >= 0xDC00 && low < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            last += 6;
        }
    }
    if (code >= 0xD800 && code < 0xE000)
        code = 0xFFFD; // a lone surrogate has no UTF-8 form
    AppendUtf8(code, AOut);
    return last;
}

char LowerAscii(char AChar) {
    return AChar >= 'A' && AChar <= 'Z' ? AChar - 'A' + 'a' : AChar;
}

bool HoldsFolded(std::string_view AText, std::string_view ANeedle) {
    return std::search(AText.begin(), AText.end(), ANeedle.begin(), ANeedle.end(),
                       [](char A, char B) { return LowerAscii(A) == LowerAscii(B); }) !=
           AText.end();
}

} // namespace

std::string UnescapeJsonString(std::string_view AQuoted) {
    if (AQuoted.size() >= 2 && AQuoted.front() == '"')
        AQuoted = AQuoted.substr(1, AQuoted.size() - 2);
    if (AQuoted.find('\\') == std::string_view::npos)
        return std::string(AQuoted);
    std::string out;
    out.reserve(AQuoted.size());
    for (std::size_t i = 0; i < AQuoted.size(); ++i) {
        if (AQuoted[i] != '\\' || i + 1 >= AQuoted.size()) {
            out += AQuoted[i];
            continue;
        }
        const char escape = AQuoted[++i];
        switch (escape) {
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u':
            i = AppendCodePoint(AQuoted, i + 1, out);
            break;
        default:
            out += escape;
            break;
        }
    }
    return out;
}

TAnswerTree::TAnswerTree(std::shared_ptr<const std::string> AText) : FText(std::move(AText)) {
    const std::string& text = *FText;
    // Offsets are kept in 32 bits.
    if (text.size() >= UINT32_MAX)
        throw std::runtime_error("The answer is too large to read as a tree (4 GiB or more).");
    // simdjson reads a few bytes past the end; a copy is made only when the string has no room.
    simdjson::padded_string copy;
    const char* base = text.data();
    std::size_t capacity = text.capacity();
    static_assert(AnswerTreePadding >= simdjson::SIMDJSON_PADDING);
    if (capacity < text.size() + simdjson::SIMDJSON_PADDING) {
        copy = simdjson::padded_string(text);
        base = copy.data();
        capacity = text.size() + simdjson::SIMDJSON_PADDING;
    }
    // Room for every node at once: a value inside a container follows a '[', a ',' or a ':', so
    // there are no more nodes than those bytes and the top value. The count is an upper bound
    // (strings hold such bytes too), and the room never used is never touched, so it costs no
    // memory; growing instead would hold the old nodes and twice as many new ones at once.
    FNodes.reserve(1 +
                   static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char AChar) {
                       return AChar == ',' || AChar == ':' || AChar == '[';
                   })));
    od::parser parser;
    od::document document;
    TTreeBuilder::Check(
        parser.iterate(simdjson::padded_string_view(base, text.size(), capacity)).get(document));
    TTreeBuilder builder(base, FNodes);
    od::json_type type{};
    TTreeBuilder::Check(document.type().get(type));
    if (type == od::json_type::object || type == od::json_type::array) {
        od::value top;
        TTreeBuilder::Check(document.get_value().get(top));
        builder.Value(top, NoNode);
        // Past the value there is nothing more to read; anything else is trailing content.
        if (document.current_location().error() != simdjson::OUT_OF_BOUNDS)
            TTreeBuilder::Check(simdjson::TRAILING_CONTENT);
    } else {
        builder.Scalar(document, type);
        const std::size_t end = FNodes[0].Offset + FNodes[0].Length;
        if (text.find_first_not_of(" \t\r\n", end) != std::string::npos)
            TTreeBuilder::Check(simdjson::TRAILING_CONTENT);
    }
}

std::vector<std::uint32_t> TAnswerTree::Children(std::uint32_t ANode) const {
    std::vector<std::uint32_t> children;
    const TAnswerNode& node = FNodes[ANode];
    if (!IsContainer(Kind(ANode)))
        return children;
    children.reserve(node.Length);
    for (std::uint32_t child = ANode + 1; child < node.End; child = FNodes[child].End)
        children.push_back(child);
    return children;
}

TNodeKind TAnswerTree::Kind(std::uint32_t ANode) const {
    switch ((*FText)[FNodes[ANode].Offset]) {
    case '{':
        return TNodeKind::Object;
    case '[':
        return TNodeKind::Array;
    case '"':
        return TNodeKind::String;
    case 't':
        return TNodeKind::True;
    case 'f':
        return TNodeKind::False;
    case 'n':
        return TNodeKind::Null;
    default:
        return TNodeKind::Number;
    }
}

std::string_view TAnswerTree::RawKey(std::uint32_t ANode) const {
    const std::uint32_t parent = FNodes[ANode].Parent;
    if (parent == NoNode || Kind(parent) != TNodeKind::Object)
        return {};
    // Back from the value over the colon to the key's closing quote, then to the quote that no
    // odd run of backslashes escapes: its opening one.
    const std::string_view text = *FText;
    std::size_t at = FNodes[ANode].Offset - 1;
    while (IsBlank(text[at]))
        --at;
    --at; // the colon
    while (IsBlank(text[at]))
        --at;
    const std::size_t close = at;
    for (;;) {
        --at;
        if (text[at] != '"')
            continue;
        std::size_t backslashes = 0;
        while (text[at - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0)
            break;
    }
    return text.substr(at, close + 1 - at);
}

std::string TAnswerTree::Key(std::uint32_t ANode) const {
    return UnescapeJsonString(RawKey(ANode));
}

std::string_view TAnswerTree::Raw(std::uint32_t ANode) const {
    const TAnswerNode& node = FNodes[ANode];
    if (IsContainer(Kind(ANode)))
        return {};
    return std::string_view(*FText).substr(node.Offset, node.Length);
}

std::string TAnswerTree::DisplayText(std::uint32_t ANode) const {
    switch (Kind(ANode)) {
    case TNodeKind::String:
        return UnescapeJsonString(Raw(ANode));
    case TNodeKind::Object:
    case TNodeKind::Array:
        return Json(ANode);
    default:
        return std::string(Raw(ANode));
    }
}

void TAnswerTree::AppendJson(std::uint32_t ANode, std::string& AOut) const {
    const TAnswerNode& node = FNodes[ANode];
    const TNodeKind kind = Kind(ANode);
    if (!IsContainer(kind)) {
        AOut += Raw(ANode);
        return;
    }
    const bool object = kind == TNodeKind::Object;
    AOut += object ? '{' : '[';
    bool first = true;
    for (std::uint32_t child = ANode + 1; child < node.End; child = FNodes[child].End) {
        if (!first)
            AOut += ',';
        first = false;
        if (object) {
            AOut += RawKey(child);
            AOut += ':';
        }
        AppendJson(child, AOut);
    }
    AOut += object ? '}' : ']';
}

std::string TAnswerTree::Json(std::uint32_t ANode) const {
    std::string out;
    AppendJson(ANode, out);
    return out;
}

std::uint32_t TAnswerTree::IndexInParent(std::uint32_t ANode) const {
    const std::uint32_t parent = FNodes[ANode].Parent;
    if (parent == NoNode)
        return 0;
    std::uint32_t index = 0;
    for (std::uint32_t child = parent + 1; child != ANode; child = FNodes[child].End)
        ++index;
    return index;
}

std::string TAnswerTree::Path(std::uint32_t ANode) const {
    std::vector<std::string> steps;
    for (std::uint32_t at = ANode; FNodes[at].Parent != NoNode; at = FNodes[at].Parent) {
        if (Kind(FNodes[at].Parent) == TNodeKind::Array) {
            steps.push_back("[" + std::to_string(IndexInParent(at)) + "]");
        } else {
            const std::string key = Key(at);
            steps.push_back(IsIdentifier(key) ? "." + key : "." + std::string(RawKey(at)));
        }
    }
    if (steps.empty())
        return ".";
    std::string path;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (path.empty() && step->front() == '[')
            path = ".";
        path += *step;
    }
    return path;
}

std::uint32_t TAnswerTree::Find(std::string_view ANeedle, std::uint32_t AFrom) const {
    if (ANeedle.empty() || FNodes.empty())
        return NoNode;
    const auto count = static_cast<std::uint32_t>(FNodes.size());
    const std::uint32_t start = AFrom == NoNode ? 0 : (AFrom + 1) % count;
    for (std::uint32_t step = 0; step < count; ++step) {
        const std::uint32_t at = (start + step) % count;
        const std::string_view key = RawKey(at);
        if (!key.empty() &&
            HoldsFolded(key.find('\\') == std::string_view::npos ? key : std::string_view(Key(at)),
                        ANeedle))
            return at;
        const std::string_view raw = Raw(at);
        if (raw.empty())
            continue;
        if (raw.find('\\') == std::string_view::npos ? HoldsFolded(raw, ANeedle)
                                                     : HoldsFolded(DisplayText(at), ANeedle))
            return at;
    }
    return NoNode;
}

// A typed URL (UTF-8, up to the first NUL byte) and form lines (after it, one per line break),
// merged into the request the client sends. Every request on the wire is 7-bit text with exactly
// one end of its header block, only the client's own headers, and the body its length announces.

#include "IdHTTP.h"
#include "IdText.h"
#include "MemoryIOHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* AWhat, const std::string& ARequest) {
    std::fprintf(stderr, "%s in the request:\n%s\n", AWhat, ARequest.c_str());
    std::abort();
}

void CheckRequest(const std::string& ARequest) {
    for (const char C : ARequest)
        if (static_cast<unsigned char>(C) > 0x7F)
            Fail("a byte above 127", ARequest);
    const std::size_t HeadEnd = ARequest.find("\r\n\r\n");
    if (HeadEnd == std::string::npos)
        Fail("no end of the header block", ARequest);
    const std::string_view Head = std::string_view(ARequest).substr(0, HeadEnd + 2);
    static constexpr std::string_view Names[] = {
        "Connection", "Content-Type", "Content-Length", "Host", "Accept", "User-Agent", "Cookie"};
    std::size_t Start = 0;
    std::size_t ContentLength = std::string::npos;
    bool First = true;
    while (Start < Head.size()) {
        const std::size_t End = Head.find("\r\n", Start);
        const std::string_view Line = Head.substr(Start, End - Start);
        Start = End + 2;
        if (Line.find_first_of("\r\n") != std::string_view::npos)
            Fail("a bare line break", ARequest);
        if (First) {
            First = false;
            if (!Line.starts_with("POST ") ||
                !(Line.ends_with(" HTTP/1.0") || Line.ends_with(" HTTP/1.1")))
                Fail("a broken request line", ARequest);
            continue;
        }
        const std::size_t Colon = Line.find(": ");
        bool Known = false;
        for (const std::string_view Name : Names)
            Known = Known || Line.substr(0, Colon) == Name;
        if (Colon == std::string_view::npos || !Known)
            Fail("a header the client does not send", ARequest);
        if (Line.substr(0, Colon) == "Content-Length")
            ContentLength = std::stoul(std::string(Line.substr(Colon + 2)));
    }
    if (ContentLength != ARequest.size() - HeadEnd - 4)
        Fail("a body of another length than announced", ARequest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string_view Input(reinterpret_cast<const char*>(AData), ASize);
    const std::size_t Split = Input.find('\0');
    const std::u16string URL = IdText::FromUTF8(Input.substr(0, Split));
    std::vector<std::u16string> Lines;
    if (Split != std::string_view::npos) {
        std::string_view Rest = Input.substr(Split + 1);
        while (!Rest.empty()) {
            const std::size_t Break = Rest.find('\n');
            Lines.push_back(IdText::FromUTF8(Rest.substr(0, Break)));
            Rest = Break == std::string_view::npos ? std::string_view() : Rest.substr(Break + 1);
        }
    }
    TMemoryIOHandler Handler;
    TIdHTTP HTTP;
    HTTP.SetIOHandler(&Handler);
    HTTP.ReadTimeout = 5000;
    try {
        HTTP.Post(URL, Lines);
    } catch (const EIdException&) {
        // A URL the client refuses is no finding; what it sent is checked all the same.
    }
    HTTP.SetIOHandler(nullptr);
    for (const std::string& Request : Handler.Requests)
        CheckRequest(Request);
    return 0;
}

#include "IdHTTP.h"

#include "IdCharsets.h"
#include "IdHTTPForm.h"
#include "IdHTTPText.h"
#include "IdResourceStrings.h"
#include "IdTLSHandlerHook.h"
#include "IdText.h"
#include "IdTextDecoder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string_view>
#include <utility>

using IdHTTPText::ToASCII;
using IdText::EqualsNoCase;
using IdText::ToUTF8;

namespace {

constexpr const char* RSOutOfMemoryReadingAnswer = "Out of memory while reading the answer.";
constexpr std::size_t RequestBodyPieceSize = 32768;

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool IsValidIPv6(const std::u16string& AHost) {
    const std::string Host = ToUTF8(AHost);
    unsigned char Buffer[16];
    return inet_pton(AF_INET6, Host.c_str(), Buffer) == 1;
}

EIdInvalidPort InvalidPort(const std::u16string& APort) {
    return EIdInvalidPort("Invalid port \"" + ToUTF8(APort) +
                          "\": a port is a number from 1 to 65535.");
}

// The port text as a number: trimmed, decimal, 1 to 65535. Anything else (a typo, a number that
// would wrap, a second ":port") is refused by name: taking a default port instead would send the
// call, and its password, somewhere else than typed.
uint16_t PortNumber(const std::u16string& APort) {
    const std::string Text(IdHTTPText::Trim(std::string_view(ToUTF8(APort))));
    long long Value = 0;
    if (!IdHTTPText::ParseInt64(Text, Value) || Value < 1 || Value > 65535)
        throw InvalidPort(APort);
    return static_cast<uint16_t>(Value);
}

// Whether the authority of AURL ends in a ":" ("http://h:/api"): the URL parts cannot tell such
// an empty port from none, and none takes the scheme's port.
bool HasEmptyPort(const std::u16string& AURL) {
    const std::u16string URL = TIdURI::NormalizePath(AURL);
    std::u16string_view Rest(URL);
    if (const std::size_t Separator = Rest.find(u"://"); Separator != Rest.npos)
        Rest.remove_prefix(Separator + 3);
    else if (Rest.starts_with(u"//"))
        Rest.remove_prefix(2);
    else
        return false;
    const std::u16string_view Authority = Rest.substr(0, Rest.find_first_of(u"/?#"));
    return Authority.ends_with(u':');
}

// Hexadecimal chunk size; 0 when the text is not a hexadecimal number or does not fit.
int64_t ChunkSize(std::string_view ALine) {
    ALine = IdHTTPText::Trim(ALine.substr(0, ALine.find(';')));
    int64_t Value = 0;
    for (char C : ALine) {
        int Digit = 0;
        if (C >= '0' && C <= '9')
            Digit = C - '0';
        else if (C >= 'a' && C <= 'f')
            Digit = C - 'a' + 10;
        else if (C >= 'A' && C <= 'F')
            Digit = C - 'A' + 10;
        else
            return 0;
        if (Value > (INT64_MAX - Digit) / 16)
            return 0;
        Value = Value * 16 + Digit;
    }
    return Value;
}

// The request target as typed, in 7-bit text. Control characters are percent-encoded: a line
// break typed into the address must not end the request line and start a header of its own.
std::string TargetText(const std::u16string& ATarget) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string Text;
    for (const char C : ToASCII(ATarget)) {
        const auto Byte = static_cast<unsigned char>(C);
        if (Byte < 0x20 || Byte == 0x7F)
            Text.append({'%', Hex[Byte >> 4], Hex[Byte & 0xF]});
        else
            Text += C;
    }
    return Text;
}

void DisconnectQuietly(TIdTCPConnection& AConnection) {
    try {
        AConnection.Disconnect(false);
    } catch (const std::exception&) {
        // The connection is being abandoned after a failure; that failure is what counts.
    }
}

} // namespace

TIdHTTP::TIdHTTP() {
    SetIOHandler(nullptr);
}

TIdHTTP::~TIdHTTP() {
    // A handler set from outside may already be gone when the client is destroyed; it closes its
    // own socket. Only the client's own one is closed here.
    if (FOwnedIOHandler && IOHandler() == FOwnedIOHandler.get())
        DisconnectQuietly(*this);
    TIdTCPConnection::SetIOHandler(nullptr);
}

void TIdHTTP::SetIOHandler(TIdIOHandler* AHandler) {
    if (AHandler == nullptr && FOwnedIOHandler)
        AHandler = FOwnedIOHandler.get();
    if (AHandler != nullptr && AHandler == IOHandler())
        return;
    DisconnectQuietly(*this);
    if (AHandler == nullptr) {
        FOwnedIOHandler = std::make_unique<TIdIOHandlerStack>();
        AHandler = FOwnedIOHandler.get();
    }
    TIdTCPConnection::SetIOHandler(AHandler);
}

void TIdHTTP::Abort() {
    FAbortRequested.store(true);
    TIdTCPConnection::Abort();
}

void TIdHTTP::MergeURL(const TIdURI& ANew) {
    if (!ANew.Username.empty()) {
        Request.Username = ANew.Username;
        Request.Password = ANew.Password;
        FURL.Username = ANew.Username;
        FURL.Password = ANew.Password;
    }
    if (ANew.Path.starts_with(u"/")) {
        FURL.Path = ANew.Path;
    } else {
        std::u16string Joined = FURL.Path;
        if (!Joined.ends_with(u"/"))
            Joined += u"/";
        FURL.Path = TIdURI::ResolvePath(Joined + ANew.Path);
    }
    FURL.Document = ANew.Document;
    FURL.Params = ANew.Params;
    FURL.Bookmark = ANew.Bookmark;
    if (!ANew.Host.empty())
        FURL.Host = ANew.Host;
    if (!ANew.Protocol.empty())
        FURL.Protocol = ANew.Protocol;
    else
        FURL.Protocol = EqualsNoCase(FURL.Protocol, "https") ? u"https" : u"http";
    if (!ANew.Port.empty())
        FURL.Port = ANew.Port;
    else if (EqualsNoCase(ANew.Protocol, "http"))
        FURL.Port = u"80";
    else if (EqualsNoCase(ANew.Protocol, "https"))
        FURL.Port = u"443";
    else if (FURL.Port.empty())
        throw EIdUnknownProtocol("Unknown Protocol");
    FURL.IPVersion = ANew.IPVersion;
}

std::string TIdHTTP::AsciiHost() const {
    std::string asciiHost;
    return IdText::HostToASCII(ToUTF8(FURL.Host), asciiHost) ? asciiHost : ToASCII(FURL.Host);
}

std::string TIdHTTP::HostHeaderValue() const {
    // The name as it was looked up: other letters in their ASCII form.
    std::u16string Value = IdText::FromUTF8(AsciiHost());
    if (FURL.IPVersion == TIdURI::TIPVersion::Id_IPv6 && IsValidIPv6(FURL.Host))
        Value = u"[" + Value + u"]";
    const bool DefaultPort = (EqualsNoCase(FURL.Protocol, "http") && FURL.Port == u"80") ||
                             (EqualsNoCase(FURL.Protocol, "https") && FURL.Port == u"443");
    if (!DefaultPort)
        Value += u":" + FURL.Port;
    return ToASCII(Value);
}

std::string TIdHTTP::BuildHeaderBlock(const std::string& AContentLength) {
    std::u16string Target = FURL.Path + FURL.Document;
    if (!FURL.Params.empty())
        Target += u"?" + FURL.Params;
    std::string Block = "POST " + TargetText(Target) + " HTTP/" +
                        (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 ? "1.0" : "1.1") + "\r\n";
    // Header values are 7-bit text on the wire, and a control character (a lone CR in a cookie
    // a server sent, say) must not break a line.
    const auto Header = [&Block](std::string_view AName, const std::string& AValue) {
        if (AValue.empty())
            return;
        Block.append(AName).append(": ");
        for (const char C : AValue) {
            const auto Byte = static_cast<unsigned char>(C);
            Block += (Byte > 127 || (Byte < 0x20 && Byte != '\t') || Byte == 0x7F) ? '?' : C;
        }
        Block.append("\r\n");
    };
    Header("Connection", Request.Connection);
    Header("Content-Type", Request.ContentType);
    Header("Content-Length", AContentLength);
    Header("Host", HostHeaderValue());
    Header("Accept", Request.Accept);
    Header("User-Agent", Request.UserAgent);
    if (AllowCookies) {
        const TIdCookieRequest CookieRequest{ToUTF8(FURL.Host), ToUTF8(FURL.Protocol),
                                             ToUTF8(FURL.Path + FURL.Document)};
        Header("Cookie",
               ToASCII(IdText::FromUTF8(FCookies.CookieHeader(CookieRequest, NowSeconds()))));
    }
    Block += "\r\n";
    return Block;
}

void TIdHTTP::PrepareHandler() {
    if (FURL.Protocol.empty())
        throw EIdURIException("Protocol field is empty");
    if (FURL.Host.empty())
        throw EIdURIException("Host field is empty");
    if (auto* Hook = dynamic_cast<IIdTLSHandlerHook*>(IOHandler())) {
        Hook->SetServerName(AsciiHost());
        Hook->SetPassThrough(!EqualsNoCase(FURL.Protocol, "https"));
    }
}

std::u16string TIdHTTP::Post(const std::u16string& AURL,
                             const std::vector<std::u16string>& ASource) {
    TIdIOHandler* Handler = IOHandler();
    FAbortRequested.store(false);
    Handler->ClearAbort();
    if (FAbortRequested.load())
        Handler->Abort();

    if (Request.ContentType.empty() || IdCharsets::IsHTMLType(Request.ContentType))
        Request.ContentType = "application/x-www-form-urlencoded";
    const std::string Body = IdHTTPForm::EncodeLines(ASource);

    const TIdHTTPProtocolVersion SavedVersion = ProtocolVersion;
    struct TRestoreVersion {
        TIdHTTP& Client;
        TIdHTTPProtocolVersion Version;
        ~TRestoreVersion() { Client.ProtocolVersion = Version; }
    } RestoreVersion{*this, SavedVersion};

    // Every POST goes out on a fresh connection.
    DisconnectQuietly(*this);
    ProtocolVersion = TIdHTTPProtocolVersion::pv1_0;

    const TIdURI NewURL(AURL);
    if (NewURL.Port.empty() && HasEmptyPort(AURL))
        throw InvalidPort(NewURL.Port);
    MergeURL(NewURL);
    Request.ContentLength = static_cast<int64_t>(Body.size());
    PrepareHandler();

    Host = ToUTF8(FURL.Host);
    Port = PortNumber(FURL.Port);
    IPVersion = FURL.IPVersion == TIdURI::TIPVersion::Id_IPv6 ? Id_IPv6 : Id_IPv4;

    if (ProtocolVersion == TIdHTTPProtocolVersion::pv1_0 && Request.Connection.empty())
        Request.Connection = "keep-alive";

    const auto Abandon = [&] {
        // An aborted call is over: the handler goes back to normal so the connection can be
        // closed and the client used again.
        if (FAbortRequested.load())
            Handler->ClearAbort();
        FBodyDecoder.reset();
        FStreaming = false;
        std::string().swap(FResponse.Body);
        DisconnectQuietly(*this);
    };
    try {
        Connect();
        WriteRequest(Body);
        return ReadResponse();
    } catch (const EIdHTTPProtocolException&) {
        throw;
    } catch (const std::bad_alloc&) {
        // A library's own text ("std::bad_alloc") tells the user nothing.
        Abandon();
        throw EIdOutOfMemory(RSOutOfMemoryReadingAnswer);
    } catch (const std::length_error&) {
        Abandon();
        throw EIdOutOfMemory(RSOutOfMemoryReadingAnswer);
    } catch (...) {
        Abandon();
        throw;
    }
}

void TIdHTTP::WriteRequest(const std::string& ABody) {
    FResponse.Clear();
    const std::string Block = BuildHeaderBlock(std::to_string(ABody.size()));
    TIdIOHandler* Handler = IOHandler();
    Handler->Write(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(Block.data()), Block.size()));
    for (std::size_t Offset = 0; Offset < ABody.size(); Offset += RequestBodyPieceSize) {
        const std::size_t Length = std::min(RequestBodyPieceSize, ABody.size() - Offset);
        Handler->Write(std::span<const uint8_t>(
            reinterpret_cast<const uint8_t*>(ABody.data()) + Offset, Length));
    }
}

std::string TIdHTTP::ReadLine() {
    TIdIOHandler* Handler = IOHandler();
    std::string Line = Handler->ReadLn();
    if (Handler->ReadLnTimedOut())
        throw EIdReadTimeout(RSReadTimeout);
    return Line;
}

std::string TIdHTTP::ReadHeaderLine() {
    CheckAbort();
    std::string Line = ReadLine();
    // An endless header block would otherwise grow until memory runs out.
    FHeaderBytes += Line.size() + 2;
    if (FHeaderBytes > MaxHeaderSection)
        throw EIdHTTPHeaderSectionTooLarge("Header section too large.");
    return Line;
}

void TIdHTTP::CheckAbort() const {
    if (FAbortRequested.load())
        throw EIdOperationAborted(RSOperationAborted);
}

void TIdHTTP::ReadStatusAndHeaders() {
    for (;;) {
        FHeaderBytes = 0;
        FResponse.ResponseText = ReadHeaderLine();
        FResponse.RawHeaders.Clear();
        try {
            for (;;) {
                std::string Line = ReadHeaderLine();
                if (Line.empty())
                    break;
                FResponse.RawHeaders.AddReceivedLine(Line);
            }
        } catch (const EIdConnClosedGracefully&) {
            // A server that closes inside the header block still said what it said.
            DisconnectQuietly(*this);
        } catch (...) {
            DisconnectQuietly(*this);
            throw;
        }
        FResponse.InterpretHeaders();
        TakeCookies();
        FResponse.ResponseCode = TIdHTTPResponse::ParseStatusCode(FResponse.ResponseText);
        const int Code = FResponse.ResponseCode;
        // Interim answers say nothing about the outcome: the final one follows.
        if (Code >= 100 && Code <= 199 && Code != 101)
            continue;
        return;
    }
}

void TIdHTTP::TakeCookies() {
    if (!AllowCookies)
        return;
    const TIdCookieRequest CookieRequest{ToUTF8(FURL.Host), ToUTF8(FURL.Protocol),
                                         ToUTF8(FURL.Path + FURL.Document)};
    FCookies.AddServerCookies(FResponse.RawHeaders.Values("Set-Cookie"), CookieRequest,
                              NowSeconds(), [this] { CheckAbort(); });
}

std::size_t TIdHTTP::DrainInput(int64_t ALimit, int64_t AReserveLimit) {
    TIdBuffer& Input = IOHandler()->InputBuffer();
    const std::size_t Take =
        ALimit < 0 ? Input.Size()
                   : static_cast<std::size_t>(std::min<int64_t>(ALimit, Input.Size()));
    if (Take == 0)
        return 0;
    // Past the limit the bytes are read and dropped; the count still has them.
    std::size_t Keep = Take;
    if (FBodyKeepLimit >= 0) {
        Keep = static_cast<std::size_t>(std::clamp<int64_t>(FBodyKeepLimit - FResponse.BodySize, 0,
                                                            static_cast<int64_t>(Take)));
        AReserveLimit =
            AReserveLimit < 0 ? FBodyKeepLimit : std::min(AReserveLimit, FBodyKeepLimit);
    }
    FResponse.BodySize += static_cast<int64_t>(Take);
    const std::span<const uint8_t> View = Input.View().first(Keep);
    if (FBodyDecoder) {
        FBodyDecoder->Feed(View, FStreaming ? -1 : AReserveLimit);
        Input.Remove(Take);
        if (FStreaming)
            PassOnText();
        return Take;
    }
    std::string& Body = FResponse.Body;
    if (Body.capacity() < Body.size() + Keep) {
        // Grow geometrically, in proportion to what arrived and never past what the server
        // announced, so a length it does not send costs no memory. With an announced length the
        // steps are larger: fewer copies, and fewer pages touched by buffers left behind.
        std::size_t Capacity =
            std::max(Body.size() + Keep, Body.capacity() * (AReserveLimit >= 0 ? 4 : 2));
        if (AReserveLimit >= 0)
            Capacity =
                std::max(Body.size() + Keep,
                         std::min<std::size_t>(Capacity, static_cast<std::size_t>(AReserveLimit)));
        Body.reserve(Capacity);
    }
    Body.append(reinterpret_cast<const char*>(View.data()), View.size());
    Input.Remove(Take);
    return Take;
}

void TIdHTTP::ReadExact(int64_t ACount, bool AFailOnClose, int64_t AReserveLimit) {
    TIdIOHandler* Handler = IOHandler();
    int64_t Remaining = ACount;
    while (Remaining > 0) {
        if (Handler->InputBufferIsEmpty()) {
            Handler->FillInputBuffer(false, WaitDefault, true);
            if (Handler->InputBufferIsEmpty()) {
                if (AFailOnClose)
                    throw EIdConnClosedGracefully(RSConnectionClosedGracefully);
                return;
            }
        }
        Remaining -= static_cast<int64_t>(DrainInput(Remaining, AReserveLimit));
    }
}

void TIdHTTP::ReadUntilClose() {
    TIdIOHandler* Handler = IOHandler();
    for (;;) {
        DrainInput(-1, -1);
        Handler->FillInputBuffer(false, WaitDefault, true);
        if (Handler->InputBufferIsEmpty())
            return;
    }
}

void TIdHTTP::ReadMultipart(const std::string& ABoundary) {
    TIdIOHandler* Handler = IOHandler();
    const std::string Closing = "--" + ABoundary + "--";
    std::size_t LineStart = FResponse.Body.size();
    bool ClosingSeen = false;
    for (;;) {
        if (Handler->InputBufferIsEmpty()) {
            Handler->FillInputBuffer(false, WaitDefault, true);
            if (Handler->InputBufferIsEmpty())
                return;
        }
        const std::span<const uint8_t> View = Handler->InputBuffer().View();
        const auto LF = std::find(View.begin(), View.end(), uint8_t('\n'));
        const bool HasLF = LF != View.end();
        DrainInput(HasLF ? (LF - View.begin()) + 1 : static_cast<int64_t>(View.size()), -1);
        if (!HasLF)
            continue;
        std::string_view Line(FResponse.Body);
        Line = Line.substr(LineStart, Line.size() - 1 - LineStart);
        if (Line.ends_with('\r'))
            Line.remove_suffix(1);
        LineStart = FResponse.Body.size();
        if (ClosingSeen)
            return;
        ClosingSeen = Line == Closing;
    }
}

void TIdHTTP::ReadBody() {
    if (FResponse.IsChunked()) {
        for (;;) {
            const int64_t Size = ChunkSize(ReadLine());
            if (Size <= 0)
                break;
            // The decoder grows with what arrives; the byte buffer stops at the chunk's end (a
            // size past what memory can hold simply sets no bound).
            const auto Held = static_cast<int64_t>(FResponse.Body.size());
            ReadExact(Size, true, FBodyDecoder || Size > INT64_MAX - Held ? -1 : Held + Size);
            ReadLine();
        }
        for (;;) {
            const std::string Trailer = ReadHeaderLine();
            if (Trailer.empty())
                break;
            FResponse.RawHeaders.AddReceivedLine(Trailer);
        }
    } else if (FResponse.HasContentLength()) {
        // A body cut short is not the answer the server meant to give.
        if (FResponse.ContentLength > 0)
            ReadExact(FResponse.ContentLength, true, FResponse.ContentLength);
    } else if (IdHTTPText::StartsWithNoCase(FResponse.ContentType, "multipart/")) {
        // A missing or empty boundary is the empty boundary: the body ends after "----".
        ReadMultipart(IdCharsets::MediaTypeParam(FResponse.ContentType, "boundary"));
    } else {
        ReadUntilClose();
    }
}

void TIdHTTP::KeepOrClose() {
    bool Keep =
        !EqualsNoCase(Request.Connection, "close") &&
        EqualsNoCase(IdHTTPText::Trim(std::string_view(FResponse.Connection)), "keep-alive");
    try {
        Keep = Keep && Connected();
    } catch (const std::exception&) {
        // The answer is complete; a connection that fails the check is simply not kept.
        Keep = false;
    }
    if (!Keep)
        DisconnectQuietly(*this);
}

void TIdHTTP::BeginBody() {
    FBodyDecoder.reset();
    // Pages and XML documents may name their character set inside; a multipart body is read by
    // its lines. Those are read whole before they are decoded.
    const std::string& Type = FResponse.ContentType;
    if (IdCharsets::IsHTMLType(Type) || IdCharsets::IsXMLType(Type) ||
        IdHTTPText::StartsWithNoCase(Type, "multipart/"))
        return;
    FBodyDecoder = std::make_unique<TIdTextDecoder>(IdCharsets::MakeDecoder(FResponse.CharSet));
    if (FStreaming && FBodyUTF8Sink)
        FBodyDecoder->SetOutputUTF8();
}

void TIdHTTP::PassOnText() {
    if (FBodyUTF8Sink)
        FBodyUTF8Sink(FBodyDecoder->TakeUTF8());
    else
        FBodySink(FBodyDecoder->Take());
}

std::u16string TIdHTTP::BodyText() {
    const bool Streaming = std::exchange(FStreaming, false);
    // What is left after streaming: a character cut short at the end, or a body read whole to be
    // decoded; as UTF-8 for a sink of UTF-8.
    std::u16string Text;
    std::string TextUTF8;
    if (Streaming && FBodyUTF8Sink)
        TextUTF8 = FBodyDecoder
                       ? FBodyDecoder->FinishUTF8()
                       : IdText::ToUTF8(IdCharsets::Decode(FResponse.Body, FResponse.CharSet));
    else
        Text = FBodyDecoder ? FBodyDecoder->Finish()
                            : IdCharsets::Decode(FResponse.Body, FResponse.CharSet);
    FBodyDecoder.reset();
    // The text is what the caller keeps; holding the bytes as well would double the memory of a
    // large answer.
    std::string().swap(FResponse.Body);
    if (!Streaming)
        return Text;
    if (!TextUTF8.empty())
        FBodyUTF8Sink(TextUTF8);
    else if (!Text.empty())
        FBodySink(Text);
    return {};
}

std::u16string TIdHTTP::ReadResponse() {
    ReadStatusAndHeaders();
    const int Code = FResponse.ResponseCode;
    const bool FramingAllowsBody =
        FResponse.IsChunked() || !FResponse.HasContentLength() || FResponse.ContentLength > 0;
    bool WantBody =
        FramingAllowsBody && !(Code >= 100 && Code <= 199) && Code != 204 && Code != 304;
    if (WantBody && Code >= 300 && Code <= 399) {
        TIdIOHandler* Handler = IOHandler();
        WantBody =
            !Handler->InputBufferIsEmpty() || Handler->CheckForDataOnSource(RedirectBodyTimeout);
    }
    const bool Accepted = (Code >= 200 && Code <= 299) || Code == 101;
    FBodyKeepLimit = -1;

    if (Accepted) {
        FStreaming = FBodySink || FBodyUTF8Sink;
        if (WantBody) {
            BeginBody();
            ReadBody();
            if (!FBodyDecoder)
                FResponse.DetectBodyCharSet([this] { CheckAbort(); });
        }
        std::u16string Text = BodyText();
        KeepOrClose();
        return Text;
    }

    if (WantBody) {
        // A multipart body is read by its lines, which must all be at hand.
        if (!IdHTTPText::StartsWithNoCase(FResponse.ContentType, "multipart/"))
            FBodyKeepLimit = MaxRefusedBody;
        try {
            BeginBody();
            ReadBody();
            if (!FBodyDecoder)
                FResponse.DetectBodyCharSet([this] { CheckAbort(); });
        } catch (const EIdConnClosedGracefully&) {
            DisconnectQuietly(*this);
        } catch (...) {
            DisconnectQuietly(*this);
            throw;
        }
    }
    std::u16string Text = BodyText();
    KeepOrClose();
    throw EIdHTTPProtocolException(FResponse.ResponseText, Code, std::move(Text));
}

#pragma once

#include "IdCookies.h"
#include "IdException.h"
#include "IdHTTPResponse.h"
#include "IdIOHandlerStack.h"
#include "IdTCPClient.h"
#include "IdURI.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TIdTextDecoder;

// A URL the client cannot send: no port to be found, or no protocol or host.
class EIdUnknownProtocol : public EIdException {
public:
    using EIdException::EIdException;
};

// A URL whose port is no port number (1 to 65535): nothing is sent, rather than sending to
// another port than the one typed.
class EIdInvalidPort : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdURIException : public EIdException {
public:
    using EIdException::EIdException;
};

// An answer whose status line and headers (trailers included) pass MaxHeaderSection bytes.
class EIdHTTPHeaderSectionTooLarge : public EIdException {
public:
    using EIdException::EIdException;
};

// Memory ran out during a call: an answer too large to hold.
class EIdOutOfMemory : public EIdException {
public:
    using EIdException::EIdException;
};

enum class TIdHTTPProtocolVersion { pv1_0, pv1_1 };

// The request fields the client keeps from one call to the next.
struct TIdHTTPRequest {
    std::string Accept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
    std::string UserAgent = "Mozilla/5.0 (compatible; VL Server)";
    std::string ContentType;
    std::string Connection;
    std::u16string Username;
    std::u16string Password;
    int64_t ContentLength = -1;
};

// HTTP/1.x client posting URL-encoded forms over one connection at a time.
class TIdHTTP : public TIdTCPClientCustom {
public:
    TIdHTTP();
    ~TIdHTTP() override;

    // Posts ALines as an application/x-www-form-urlencoded form to AURL and returns the answer's
    // body decoded by its character set. Every failure throws an EIdException descendant whose
    // message is the text the user sees; a refused status throws EIdHTTPProtocolException.
    std::u16string Post(const std::u16string& AURL, const std::vector<std::u16string>& ASource);

    // Receives an accepted answer's text piece by piece as it arrives, in place of Post returning
    // it (Post then returns an empty text). A refused status keeps its text in the exception. A
    // failure after some pieces were passed on still throws.
    using TBodySink = std::function<void(std::u16string_view)>;
    void SetBodySink(TBodySink ASink) { FBodySink = std::move(ASink); }
    // The same as UTF-8, for a caller that writes bytes: exactly the UTF-8 form of the pieces the
    // other sink would get, the well-formed bytes of a UTF-8 answer passed on as they came. Takes
    // the place of a sink set by SetBodySink.
    using TBodyUTF8Sink = std::function<void(std::string_view)>;
    void SetBodyUTF8Sink(TBodyUTF8Sink ASink) { FBodyUTF8Sink = std::move(ASink); }

    // Not owned. Null: a plain TIdIOHandlerStack owned by the client is used.
    void SetIOHandler(TIdIOHandler* AHandler);

    // Thread-safe: makes a running Post end promptly by throwing.
    void Abort();

    // The most bytes the status line and header lines of one answer may take, line ends
    // included; each line also keeps the handler's own line limit.
    static constexpr std::size_t MaxHeaderSection = std::size_t(1) << 20;
    // The most bytes of a refused answer's body that are kept (for its message, details and the
    // history); the rest is read and dropped, so a refusal of any size costs no more memory.
    static constexpr int64_t MaxRefusedBody = int64_t(1) << 20;

    TIdHTTPProtocolVersion ProtocolVersion = TIdHTTPProtocolVersion::pv1_1;
    bool AllowCookies = true;
    // Milliseconds a 3xx answer's body may take to start arriving before it is given up as
    // absent.
    int32_t RedirectBodyTimeout = 5000;
    TIdHTTPRequest Request;

    const TIdURI& URL() const { return FURL; }
    // Forgets the URL of earlier calls, so that the next URL is taken as on a new client: one
    // without a scheme fails as "Unknown Protocol" instead of going to an earlier call's server.
    void ForgetURL() { FURL = TIdURI(); }
    const TIdHTTPResponse& Response() const { return FResponse; }
    TIdCookieManager& CookieManager() { return FCookies; }

private:
    void MergeURL(const TIdURI& ANew);
    // The host in the ASCII form the resolver, the Host header and the TLS server name take.
    std::string AsciiHost() const;
    std::string HostHeaderValue() const;
    std::string BuildHeaderBlock(const std::string& AContentLength);
    void PrepareHandler();
    void WriteRequest(const std::string& ABody);
    std::u16string ReadResponse();
    void ReadStatusAndHeaders();
    void ReadBody();
    void ReadExact(int64_t ACount, bool AFailOnClose, int64_t AReserveLimit);
    void ReadUntilClose();
    void ReadMultipart(const std::string& ABoundary);
    std::string ReadLine();
    // A line of the status and header section, counted against MaxHeaderSection.
    std::string ReadHeaderLine();
    // Throws EIdOperationAborted once Abort was called: for work that makes no socket call.
    void CheckAbort() const;
    void TakeCookies();
    void KeepOrClose();
    // Moves at most ALimit (all when negative) buffered bytes into the body; returns how many.
    std::size_t DrainInput(int64_t ALimit, int64_t AReserveLimit);
    // Decodes the body as it arrives when its character set cannot change by what it contains.
    void BeginBody();
    std::u16string BodyText();
    // Hands the text decoded so far to the sink.
    void PassOnText();

    TIdURI FURL;
    TIdHTTPResponse FResponse;
    std::unique_ptr<TIdTextDecoder> FBodyDecoder;
    TBodySink FBodySink;
    TBodyUTF8Sink FBodyUTF8Sink;
    bool FStreaming = false;     // this answer's text goes to a sink
    int64_t FBodyKeepLimit = -1; // body bytes kept of this answer; negative: all
    TIdCookieManager FCookies;
    std::atomic<bool> FAbortRequested{false};
    std::size_t FHeaderBytes = 0; // of the answer being read
};

// The window's HTTP client and its TLS-capable socket handler, as the window owns them for the
// whole run.

#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "MainForm.h"
#include "PinStore.h"
#include "SendCall.h"
#include "TrustPrompt.h"

#include <QUrl>

#include <chrono>

void TMainForm::CreateNetworkComponents() {
    FTLSHandler = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    FTLSHandler->OnVerifyPeer = [this](const TIdPeerCertificate& APeer) {
        return TrustCertificate(APeer);
    };
    FTrustPrompt = std::make_unique<TTrustPrompt>(*this);
    FHTTPClient = std::make_unique<TIdHTTP>();
    FHTTPClient->SetIOHandler(FTLSHandler.get());
}

TCallResult TMainForm::Post(const std::u16string& AURL, const std::vector<std::u16string>& ALines) {
    const auto start = std::chrono::steady_clock::now();
    TCallResult result;
    // Each Send stands alone: a URL typed without its scheme must not reach the server (nor take
    // the password to it) that an earlier Send called.
    FHTTPClient->ForgetURL();
    FQuestionTime = {};
    result.Text = FHTTPClient->Post(AURL, ALines);
    // The time the user took over a certificate question is not the server's.
    result.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start - FQuestionTime)
                            .count();
    const TIdHTTPResponse& response = FHTTPClient->Response();
    result.StatusLine = response.ResponseText;
    result.ContentType = response.ContentType;
    result.CharSet = response.CharSet;
    result.CharSetAssumed = response.CharSetAssumed;
    result.ByteSize = response.BodySize;
    return result;
}

void TMainForm::AbortPost() {
    FHTTPClient->Abort();
    FTrustPrompt->Cancel();
}

bool TMainForm::TrustCertificate(const TIdPeerCertificate& APeer) {
    const TPinStore pins(FStore.FileName());
    const std::optional<std::string> pin = pins.Find(APeer.Host, APeer.Port);
    const TTrustVerdict verdict = DecideTrust(pin, APeer);
    if (verdict == TTrustVerdict::Trusted) {
        // A pin from before keys were kept gets its key, for the copied curl line.
        if (!pins.FindKey(APeer.Host, APeer.Port))
            pins.Pin(APeer);
        return true;
    }
    const auto asked = std::chrono::steady_clock::now();
    const bool trusted =
        FTrustPrompt->Ask(APeer, verdict == TTrustVerdict::Changed ? pin : std::nullopt);
    FQuestionTime += std::chrono::steady_clock::now() - asked;
    if (!trusted) {
        FTrustDeclined = true;
        return false;
    }
    // A pin that cannot be written only means the question comes again next time.
    pins.Pin(APeer);
    return true;
}

TCurlTls TMainForm::CurlTlsFor(const QString& AURL) const {
    TCurlTls tls;
    const QUrl url(AURL);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        return tls;
    const TPinStore pins(FStore.FileName());
    if (const std::optional<std::string> key =
            pins.FindKey(url.host().toStdString(), static_cast<uint16_t>(url.port(443))))
        tls.PinnedKey = QString::fromStdString(*key);
    return tls;
}

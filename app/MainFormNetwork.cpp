// The window's HTTP client and its TLS-capable socket handler, as the window owns them for the
// whole run.

#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "MainForm.h"
#include "SendCall.h"

#include <chrono>

void TMainForm::CreateNetworkComponents() {
    IdSSLIOHandlerSocketOpenSSL1 = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    IdSSLIOHandlerSocketOpenSSL1->VerifyPeer = false;
    IdHTTP1 = std::make_unique<TIdHTTP>();
    IdHTTP1->SetIOHandler(IdSSLIOHandlerSocketOpenSSL1.get());
}

TCallResult TMainForm::Post(const std::u16string& AURL, const std::vector<std::u16string>& ALines) {
    const auto start = std::chrono::steady_clock::now();
    TCallResult result;
    result.Text = IdHTTP1->Post(AURL, ALines);
    result.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    const TIdHTTPResponse& response = IdHTTP1->Response();
    result.StatusLine = response.ResponseText;
    result.ContentType = response.ContentType;
    result.CharSet = response.CharSet;
    result.ByteSize = response.BodySize;
    return result;
}

void TMainForm::AbortPost() {
    IdHTTP1->Abort();
}

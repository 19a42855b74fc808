// The window's HTTP client and its TLS-capable socket handler, as the window owns them for the
// whole run.

#include "IdHTTP.h"
#include "IdSSLIOHandlerSocketOpenSSL.h"
#include "MainForm.h"

void TMainForm::CreateNetworkComponents() {
    IdSSLIOHandlerSocketOpenSSL1 = std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
    IdSSLIOHandlerSocketOpenSSL1->VerifyPeer = false;
    IdHTTP1 = std::make_unique<TIdHTTP>();
    IdHTTP1->SetIOHandler(IdSSLIOHandlerSocketOpenSSL1.get());
}

std::u16string TMainForm::Post(const std::u16string& AURL,
                               const std::vector<std::u16string>& ALines) {
    return IdHTTP1->Post(AURL, ALines);
}

void TMainForm::AbortPost() {
    IdHTTP1->Abort();
}

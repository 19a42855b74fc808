#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <string>

class QMessageBox;
class QWidget;
struct TIdPeerCertificate;

// A fingerprint ("sha256:abcd...") as people compare them, in pairs of hex digits as openssl
// prints it: "SHA-256 AB:CD:...".
QString FingerprintForDisplay(const std::string& AFingerprint);

// Asks the user whether to trust a server certificate that failed the check. The question comes
// from the call's worker thread; the dialog runs on the user-interface thread while the worker
// waits for the answer or for Cancel of the call.
class TTrustPrompt {
public:
    explicit TTrustPrompt(QWidget& AOwner);
    ~TTrustPrompt();
    TTrustPrompt(const TTrustPrompt&) = delete;
    TTrustPrompt& operator=(const TTrustPrompt&) = delete;

    // Worker thread. AOldFingerprint: the certificate pinned before ("Certificate changed");
    // none: first use ("Untrusted certificate"). True when the user chose to trust it; false on
    // Cancel, and when Cancel() ended the wait.
    bool Ask(const TIdPeerCertificate& APeer, const std::optional<std::string>& AOldFingerprint);

    // User-interface thread: a waiting Ask answers false and its dialog closes, and so does every
    // later Ask until Reset().
    void Cancel();
    void Reset();

    // The question's dialog, not yet shown: Trust accepts it, Cancel (the default, also Esc)
    // rejects it.
    static std::unique_ptr<QMessageBox>
    MakeDialog(QWidget* AParent, const TIdPeerCertificate& APeer,
               const std::optional<std::string>& AOldFingerprint);

private:
    struct TState;
    QWidget& FOwner;
    std::shared_ptr<TState> FState;
};

#include "TrustPrompt.h"

#include "IdSSLCertificate.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <condition_variable>
#include <mutex>

struct TTrustPrompt::TState {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Cancelled = false;
    bool Answered = false;
    bool Trusted = false;
    QPointer<QMessageBox> Dialog; // user-interface thread only
};

namespace {

QString Text(const std::string& AText) {
    return QString::fromStdString(AText);
}

QString Endpoint(const TIdPeerCertificate& APeer) {
    const QString host = Text(APeer.Host);
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(APeer.Port);
}

} // namespace

QString FingerprintForDisplay(const std::string& AFingerprint) {
    QString hex = Text(AFingerprint);
    if (hex.startsWith(QLatin1String("sha256:")))
        hex.remove(0, 7);
    hex = hex.toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << hex.mid(i, 2);
    return QStringLiteral("SHA-256 ") + pairs.join(u':');
}

TTrustPrompt::TTrustPrompt(QWidget& AOwner) : FOwner(AOwner), FState(std::make_shared<TState>()) {}

TTrustPrompt::~TTrustPrompt() {
    Cancel();
}

std::unique_ptr<QMessageBox>
TTrustPrompt::MakeDialog(QWidget* AParent, const TIdPeerCertificate& APeer,
                         const std::optional<std::string>& AOldFingerprint) {
    const bool changed = AOldFingerprint.has_value();
    QString text =
        changed ? QStringLiteral("The certificate of %1 has changed and could not be verified. "
                                 "Someone may be intercepting the connection: trust the new "
                                 "certificate only if you know why it changed.")
                : QStringLiteral("The certificate of %1 could not be verified. Trust remembers "
                                 "this certificate for %1, and it is not asked about again.");
    text = text.arg(Endpoint(APeer));
    QString details = QStringLiteral("Reason: %1\nSubject: %2\nIssuer: %3\nValid from %4 to %5\n")
                          .arg(Text(APeer.VerifyError), Text(APeer.Subject), Text(APeer.Issuer),
                               Text(APeer.NotBefore), Text(APeer.NotAfter));
    if (changed)
        details += QStringLiteral("Old fingerprint: %1\nNew fingerprint: %2")
                       .arg(FingerprintForDisplay(*AOldFingerprint),
                            FingerprintForDisplay(APeer.Fingerprint));
    else
        details += QStringLiteral("Fingerprint: %1").arg(FingerprintForDisplay(APeer.Fingerprint));

    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Warning,
        changed ? QStringLiteral("Certificate changed") : QStringLiteral("Untrusted certificate"),
        text + QStringLiteral("\n\n") + details, QMessageBox::NoButton, AParent);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->addButton(changed ? QStringLiteral("&Trust the new certificate")
                           : QStringLiteral("&Trust"),
                   QMessageBox::AcceptRole);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

bool TTrustPrompt::Ask(const TIdPeerCertificate& APeer,
                       const std::optional<std::string>& AOldFingerprint) {
    const std::shared_ptr<TState> state = FState;
    {
        std::lock_guard guard(state->Lock);
        if (state->Cancelled)
            return false;
        state->Answered = false;
    }
    QMetaObject::invokeMethod(
        &FOwner,
        [state, peer = APeer, old = AOldFingerprint, owner = &FOwner] {
            {
                std::lock_guard guard(state->Lock);
                if (state->Cancelled)
                    return;
            }
            // Over the Sending dialog when it is up, so that it does not hide the question.
            QWidget* modal = QApplication::activeModalWidget();
            QMessageBox* box = MakeDialog(modal != nullptr ? modal : owner, peer, old).release();
            box->setAttribute(Qt::WA_DeleteOnClose);
            QObject::connect(box, &QMessageBox::finished, box, [state, box] {
                QAbstractButton* clicked = box->clickedButton();
                std::lock_guard guard(state->Lock);
                state->Answered = true;
                state->Trusted =
                    clicked != nullptr && box->buttonRole(clicked) == QMessageBox::AcceptRole;
                state->Changed.notify_all();
            });
            state->Dialog = box;
            box->show();
        },
        Qt::QueuedConnection);

    std::unique_lock guard(state->Lock);
    state->Changed.wait(guard, [&] { return state->Answered || state->Cancelled; });
    return state->Answered && state->Trusted && !state->Cancelled;
}

void TTrustPrompt::Cancel() {
    {
        std::lock_guard guard(FState->Lock);
        FState->Cancelled = true;
        FState->Changed.notify_all();
    }
    if (FState->Dialog)
        FState->Dialog->reject();
}

void TTrustPrompt::Reset() {
    FState = std::make_shared<TState>();
}

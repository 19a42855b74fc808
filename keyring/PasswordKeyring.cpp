#include "PasswordKeyring.h"

#include <qt6keychain/keychain.h>

#include <QDBusConnection>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <optional>

const QString TPasswordKeyring::Service = QStringLiteral("vlcallbench");
const QString TPasswordKeyring::Key = QStringLiteral("API password");

namespace {

using TResult = TPasswordKeyring::TResult;
using TState = TPasswordKeyring::TState;

TResult ResultOf(const QKeychain::Job& AJob) {
    TResult result;
    switch (AJob.error()) {
    case QKeychain::NoError:
        result.State = TState::Available;
        result.Found = true;
        return result;
    case QKeychain::EntryNotFound:
        result.State = TState::Available;
        return result;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        result.State = TState::Unavailable;
        break;
    default:
        result.State = TState::Refused;
        break;
    }
    result.Error = AJob.errorString();
    return result;
}

// Runs AJob to its end, or until the wait runs out; the job deletes itself when done, so one
// that outlives the wait finishes harmlessly.
TResult Run(QKeychain::Job* AJob, const QString& AKey) {
    // Without a session bus no keyring can answer; the library would report that as any other
    // failure.
    if (!QDBusConnection::sessionBus().isConnected()) {
        delete AJob;
        TResult none;
        none.State = TState::Unavailable;
        return none;
    }
    auto result = std::make_shared<std::optional<TResult>>();
    QEventLoop loop;
    AJob->setAutoDelete(true);
    AJob->setKey(AKey);
    QObject::connect(
        AJob, &QKeychain::Job::finished, &loop, [result, &loop](QKeychain::Job* AFinished) {
            *result = ResultOf(*AFinished);
            if (const auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(AFinished);
                read && (*result)->Found)
                (*result)->Password = read->textData();
            loop.quit();
        });
    QTimer::singleShot(TPasswordKeyring::WaitMs, &loop, &QEventLoop::quit);
    AJob->start();
    if (!result->has_value())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!result->has_value()) {
        TResult late;
        late.State = TState::Unavailable;
        late.Error = QStringLiteral("The keyring did not answer in time.");
        return late;
    }
    return **result;
}

} // namespace

TResult TPasswordKeyring::Read() const {
    return Run(new QKeychain::ReadPasswordJob(Service), FKey);
}

TResult TPasswordKeyring::Write(const QString& APassword) const {
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setTextData(APassword);
    return Run(job, FKey);
}

TResult TPasswordKeyring::Remove() const {
    TResult result = Run(new QKeychain::DeletePasswordJob(Service), FKey);
    result.Found = false;
    return result;
}

std::optional<TResult> TPasswordKeyring::ReadRemembered(bool ARememberPW,
                                                        QString& APassword) const {
    if (!ARememberPW)
        return std::nullopt;
    TResult answer = Read();
    if (APassword.isEmpty() && answer.Found)
        APassword = answer.Password;
    return answer;
}

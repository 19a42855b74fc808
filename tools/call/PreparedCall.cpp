#include "PreparedCall.h"

#include "CallArguments.h"
#include "CallDefaults.h"
#include "CallOptions.h"
#include "SendRequest.h"
#include "VersionText.h"

#include <QFile>

#include <cstdlib>

namespace {

// The options that make no sense for a call, or without another.
void CheckCallOptions(const TCallOptions& AOptions) {
    if (AOptions.Json)
        throw ECallUsage("--json goes with --list or --describe.");
    if (AOptions.Positional.empty())
        throw ECallUsage("No COMMAND given.\n\n" + CallToolUsage());
    if (AOptions.ShowPassword && !AOptions.Curl)
        throw ECallUsage("--show-password goes with --curl.");
}

QString URLOf(const TCallOptions& AOptions, TCallDefaults& ADefaults) {
    if (AOptions.Server)
        return QString::fromStdString(*AOptions.Server);
    const TConnectionSettings& settings = ADefaults.Get();
    const TConnectionURL connection = ConnectionURL(settings.IP, settings.Port, settings.Path);
    if (!connection.Missing.isEmpty())
        throw ECallUsage(connection.Missing.toStdString() +
                         " in the window's settings; give --server URL.");
    return connection.URL;
}

QString PasswordOf(const TCallOptions& AOptions, TCallDefaults& ADefaults) {
    if (AOptions.PasswordEnv && AOptions.PasswordFile)
        throw ECallUsage("--password-env and --password-file cannot be combined.");
    if (AOptions.PasswordEnv) {
        const char* value = std::getenv(AOptions.PasswordEnv->c_str());
        if (value == nullptr)
            throw ECallUsage("The environment variable " + *AOptions.PasswordEnv + " is not set.");
        return QString::fromLocal8Bit(value);
    }
    if (AOptions.PasswordFile) {
        QFile file(QString::fromStdString(*AOptions.PasswordFile));
        if (!file.open(QIODevice::ReadOnly))
            throw ECallUsage("Cannot read the password file " + *AOptions.PasswordFile + ": " +
                             file.errorString().toStdString());
        // The first line; its line break is not part of the password.
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        return QString::fromUtf8(line);
    }
    return ADefaults.Password();
}

} // namespace

TPreparedCall PrepareCall(const TCallOptions& AOptions, const TCommandList& ACommands,
                          TCallDefaults& ADefaults) {
    CheckCallOptions(AOptions);
    const TCommand& command = FindCommand(ACommands, AOptions.Positional[0]);
    QStringList arguments;
    for (std::size_t i = 1; i < AOptions.Positional.size(); ++i)
        arguments << QString::fromStdString(AOptions.Positional[i]);
    const TCallGrid grid = CallGrid(command, !AOptions.Legacy, arguments);
    if (!AOptions.Force) {
        const QString version = AOptions.ServerVersion
                                    ? QString::fromStdString(*AOptions.ServerVersion)
                                    : ADefaults.Get().Version;
        if (!TrimControl(version).isEmpty())
            CheckVersions(grid, ParseVersionText(version));
    }
    TPreparedCall call;
    call.Command = &command;
    call.URL = URLOf(AOptions, ADefaults);
    call.Form = CallForm(grid, PasswordOf(AOptions, ADefaults));
    return call;
}

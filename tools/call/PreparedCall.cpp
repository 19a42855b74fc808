#include "PreparedCall.h"

#include "CallArguments.h"
#include "CallDefaults.h"
#include "CallOptions.h"
#include "ErrorOutput.h"
#include "SendRequest.h"
#include "VersionText.h"

#include <QByteArrayView>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

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
    if (AOptions.Server) {
        // Without its scheme the HTTP client could only fail with "Unknown Protocol" after the
        // call began; the user meant a URL and is told so at once.
        QString url = QString::fromStdString(*AOptions.Server);
        if (!url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) &&
            !url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive))
            throw ECallUsage("--server needs a URL that begins with http:// or https://, not '" +
                             *AOptions.Server + "'.");
        return url;
    }
    const TConnectionSettings& settings = ADefaults.Get();
    const TConnectionURL connection = ConnectionURL(settings.IP, settings.Port, settings.Path);
    if (!connection.Missing.isEmpty())
        throw ECallUsage(connection.Missing.toStdString() +
                         " in the window's settings; give --server URL.");
    return connection.URL;
}

// A password file may be a pipe (a shell's <(...)) or a device; none of them may hold the tool for
// ever, nor feed it without end.
constexpr std::size_t PasswordFileLimit = 4096;
constexpr int PasswordWaitSeconds = 5;

class TFileDescriptor {
public:
    explicit TFileDescriptor(int AFd) : FFd(AFd) {}
    ~TFileDescriptor() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// Up to PasswordFileLimit bytes of the file, stopping after the first line end. A pipe or a
// device is waited for PasswordWaitSeconds in all.
std::string ReadPasswordFileStart(const std::string& AFileName, bool& AReadableByOthers) {
    const auto cannot = [&AFileName](const std::string& AWhy) {
        return ECallUsage("Cannot read the password file " + AFileName + ": " + AWhy);
    };
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const TFileDescriptor file(
        ::open(AFileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0)
        throw cannot(std::strerror(errno));
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0)
        throw cannot(std::strerror(errno));
    const bool regular = S_ISREG(info.st_mode);
    if (!regular && !S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode))
        throw cannot("it is not a regular file, a pipe or a character device.");
    AReadableByOthers = regular && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(PasswordWaitSeconds);
    std::string text;
    char buffer[PasswordFileLimit];
    while (text.size() < PasswordFileLimit && text.find('\n') == std::string::npos) {
        if (!regular) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd ready{file.Get(), POLLIN, 0};
            const int polled =
                left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
            if (polled == 0)
                throw cannot("nothing came from it within " + std::to_string(PasswordWaitSeconds) +
                             " seconds.");
            if (polled < 0 && errno != EINTR)
                throw cannot(std::strerror(errno));
            if (polled < 0)
                continue;
        }
        const ssize_t got = ::read(file.Get(), buffer, PasswordFileLimit - text.size());
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR && errno != EAGAIN)
            throw cannot(std::strerror(errno));
        if (got > 0)
            text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// The password on the first line of a password file; its line end is not part of it.
QString PasswordFromFile(const std::string& AFileName) {
    bool readableByOthers = false;
    const std::string text = ReadPasswordFileStart(AFileName, readableByOthers);
    if (text.empty())
        throw ECallUsage("The password file " + AFileName + " is empty.");
    const std::size_t end = text.find('\n');
    if (end == std::string::npos && text.size() >= PasswordFileLimit)
        throw ECallUsage("The first line of the password file " + AFileName +
                         " is too long: it does not end within " +
                         std::to_string(PasswordFileLimit) + " bytes.");
    std::string_view line(text);
    line = line.substr(0, end);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    // Said rather than sent: an empty password goes out as none, a NUL byte as %00 and bytes
    // that are not UTF-8 as U+FFFD, none of them what the file holds.
    if (line.empty())
        throw ECallUsage("The first line of the password file " + AFileName + " is empty.");
    if (line.find('\0') != std::string_view::npos)
        throw ECallUsage("The first line of the password file " + AFileName + " holds a NUL byte.");
    if (!QByteArrayView(line.data(), static_cast<qsizetype>(line.size())).isValidUtf8())
        throw ECallUsage("The first line of the password file " + AFileName +
                         " is not valid UTF-8.");
    if (readableByOthers)
        WriteError("warning: the password file " + AFileName +
                   " is readable by others; chmod 600 " + AFileName);
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
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
    if (AOptions.PasswordFile)
        return PasswordFromFile(*AOptions.PasswordFile);
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
    call.Password = PasswordOf(AOptions, ADefaults);
    call.Form = CallForm(grid, call.Password);
    call.Grid = grid;
    return call;
}

// vlcallbench-call and vlcallbench-post run as processes against loopback servers: the bodies
// command lines compose, the checks made before sending, defaults from the window's settings, the
// curl line, and answers written as they arrive.

#include "AnswerBlob.h"
#include "CallArguments.h"
#include "CallRecord.h"
#include "Catalogue.h"
#include "CatalogueText.h"
#include "HistoryStore.h"
#include "ScriptedServer.h"
#include "SettingsStore.h"
#include "TempFolder.h"
#include "ToolProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string CallTool = VL_CALL_TOOL;
const std::string PostTool = VL_POST_TOOL;

std::string Narrow(const std::u16string& AText) {
    return std::string(AText.begin(), AText.end());
}

// A message of the call tool on standard error, as it writes it: after its name.
std::string CallMessage(const std::string& AText) {
    return "vlcallbench-call: " + AText;
}

std::string BodyOf(const std::string& ARequest) {
    const std::size_t end = ARequest.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : ARequest.substr(end + 4);
}

// A private configuration and data folder, so no run reads the settings of the user running the
// tests or writes into their call history, and no session bus, so none reads their keyring.
class TConfigFolder {
public:
    TConfigFolder() : FFolder("vlcall-"), FPath(FFolder.Path().string()) {}
    std::vector<std::string> Environment() const {
        return {"XDG_CONFIG_HOME=" + FPath, "XDG_DATA_HOME=" + DataFolder(),
                "DBUS_SESSION_BUS_ADDRESS="};
    }
    std::string DataFolder() const { return FPath + "/data"; }
    // Where the call history is kept.
    QString HistoryFolder() const { return QString::fromStdString(DataFolder() + "/vlcallbench"); }
    std::string File(const char* AName) const { return FPath + "/" + AName; }
    void Save(const TConnectionSettings& ASettings) const {
        TSettingsStore(QString::fromStdString(File("Tessarine.conf"))).Save(ASettings);
    }

private:
    TTempFolder FFolder;
    std::string FPath;
};

// Answers every request with AAnswer (an HTTP 200 text in UTF-8 unless given whole).
std::unique_ptr<TScriptedServer> AnsweringServer(std::string AAnswer = "OK") {
    if (!AAnswer.starts_with("HTTP/"))
        AAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                  std::to_string(AAnswer.size()) + "\r\n\r\n" + AAnswer;
    return std::make_unique<TScriptedServer>(TServerScript().ReadRequest().Send(AAnswer));
}

// The calls kept in the history in AFolder that AFilter finds, newest first; none when there is
// no history.
// The tool's arguments that print ACall as a curl line, with the secrets themselves when AShow.
std::vector<std::string> CurlArguments(const std::vector<std::string>& ACall, bool AShow) {
    std::vector<std::string> arguments{"--curl"};
    if (AShow)
        arguments.push_back("--show-password");
    arguments.insert(arguments.end(), ACall.begin(), ACall.end());
    return arguments;
}

std::vector<THistoryCall> StoredCalls(const QString& AFolder, const QString& AFilter = {}) {
    // The database driver is loaded through the application object.
    static int argc = 1;
    static char name[] = "test_call_tool";
    static char* argv[] = {name, nullptr};
    static const QCoreApplication application(argc, argv);
    std::vector<THistoryCall> calls;
    if (!QFileInfo::exists(AFolder + QStringLiteral("/history.sqlite")))
        return calls;
    THistoryStore store(AFolder);
    store.OpenForReading();
    QSqlQuery query = store.ListQuery(AFilter);
    while (query.next())
        calls.push_back(*store.Load(query.value(THistoryStore::ListId).toLongLong()));
    return calls;
}

class CallToolTest : public ::testing::Test {
protected:
    TToolRun Call(const std::vector<std::string>& AArguments,
                  std::vector<std::string> AEnvironment = {}) {
        return RunTool(CallTool, AArguments, Environment(std::move(AEnvironment)));
    }
    // AEnvironment with the private folders; the test's own entries win.
    std::vector<std::string> Environment(std::vector<std::string> AEnvironment) const {
        for (const std::string& entry : FConfig.Environment()) {
            const std::string name = entry.substr(0, entry.find('=') + 1);
            if (std::none_of(AEnvironment.begin(), AEnvironment.end(),
                             [&](const std::string& AEntry) { return AEntry.starts_with(name); }))
                AEnvironment.push_back(entry);
        }
        return AEnvironment;
    }

    TConfigFolder FConfig;
};

} // namespace

TEST_F(CallToolTest, CommandLinesAndTheirBodies) {
    const auto server = AnsweringServer("B\xC3\xB6rse");
    const std::string url = Narrow(server->URL(u"/api"));
    struct Case {
        std::vector<std::string> Arguments;
        const char* Body;
    } cases[] = {
        {{"AccountsList"}, "Command=AccountsList&Password=pw+1&JSON=Yes"},
        {{"--legacy", "accountslist", "FIELDS=Player,Balance", "players=a b"},
         "Command=AccountsList&Password=pw+1&JSON=No&Players=a+b&Fields=Player%2CBalance"},
        {{"AccountsGet", "Player=", "--", "Log=x=y&z"},
         "Command=AccountsGet&Password=pw+1&JSON=Yes&Log=x%3Dy%26z&Player="},
    };
    int requests = 0;
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--server", url, "--password-env", "SECRET"};
        arguments.insert(arguments.end(), c.Arguments.begin(), c.Arguments.end());
        const TToolRun run = Call(arguments, {"SECRET=pw 1"});
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Out, "B\xC3\xB6rse"); // its exact bytes: nothing added in a pipe
        ASSERT_TRUE(server->WaitForScriptsDone(++requests));
        EXPECT_EQ(BodyOf(server->Requests().back()), c.Body);
    }
    // The tool only reads the window's settings: without any, it leaves none behind.
    EXPECT_FALSE(std::filesystem::exists(FConfig.File("Tessarine.conf")));
}

TEST_F(CallToolTest, DefaultsFromTheWindowsSettings) {
    const auto server = AnsweringServer();
    TConnectionSettings settings;
    settings.Version = QStringLiteral("4.00");
    settings.IP = QStringLiteral(" 127.0.0.1 ");
    settings.Port = QString::number(server->Port());
    settings.Path = QStringLiteral("api");
    settings.RememberPW = true;
    settings.Password = QStringLiteral("stored");
    FConfig.Save(settings);

    TToolRun run = Call({"SystemStats"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_TRUE(server->WaitForScriptsDone(1));
    EXPECT_TRUE(server->Requests().back().starts_with("POST /api HTTP/1.0\r\n"));
    EXPECT_EQ(BodyOf(server->Requests().back()), "Command=SystemStats&Password=stored&JSON=Yes");

    // The stored version 4.00 lacks Players (4.40+); the command line's version or --force wins.
    run = Call({"AccountsList", "Players=x"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err,
              CallMessage("Parameter 'Players' of AccountsList is not in server version 4.00; "
                          "versions 4.40+ have it. --force sends it anyway.\n"));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--force", "AccountsList", "Players=x"},
          std::vector<std::string>{"--server-version", "4.40", "AccountsList", "Players=x"}}) {
        run = Call(arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
    }
    ASSERT_TRUE(server->WaitForScriptsDone(3));

    // A password file's first line, without its line break.
    std::FILE* file = std::fopen(FConfig.File("pw").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("from file\r\nsecond line\n", file);
    std::fclose(file);
    run = Call({"--password-file", FConfig.File("pw"), "SystemStats"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_TRUE(server->WaitForScriptsDone(4));
    EXPECT_EQ(BodyOf(server->Requests().back()), "Command=SystemStats&Password=from+file&JSON=Yes");

    settings.IP.clear();
    FConfig.Save(settings);
    run = Call({"SystemStats"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, CallMessage("Server IP/domain missing in the window's settings; give "
                                   "--server URL.\n"));
}

TEST_F(CallToolTest, UsageAndValidationFailBeforeSending) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    struct Case {
        std::vector<std::string> Arguments;
        int ExitCode;
        const char* Err;
    } cases[] = {
        {{"AccountsList", "Playr=1"},
         2,
         "Unknown parameter 'Playr' for AccountsList. Did you mean 'Players'?\n"},
        {{"AcountsList"}, 2, "Unknown command 'AcountsList'. Did you mean 'AccountsList'?\n"},
        {{"AccountsList", "Password=x"},
         2,
         "Password is filled in by the program and cannot be given as NAME=VALUE; use "
         "--password-env or --password-file.\n"},
        {{"AccountsList", "json=No"},
         2,
         "JSON is filled in by the program and cannot be given as NAME=VALUE; use --legacy for "
         "JSON=No.\n"},
        {{"AccountsList", "Command=X"},
         2,
         "Command is filled in by the program and cannot be given as NAME=VALUE; name the command "
         "as COMMAND.\n"},
        {{"--forse", "AccountsList"}, 2, "Unknown option '--forse'. Did you mean '--force'?\n"},
        {{"--timeout", "soon", "AccountsList"},
         2,
         "--timeout needs a number of seconds, not 'soon'.\n"},
        {{"--password-env", "VL_TEST_UNSET_VARIABLE", "AccountsList"},
         2,
         "The environment variable VL_TEST_UNSET_VARIABLE is not set.\n"},
        {{"--server-version", "2.00", "AccountsList"},
         2,
         "Command AccountsList is not in server version 2.00; versions 2.10+ have it. --force "
         "sends it anyway.\n"},
        {{"--list", "Acounts"}, 2, "Unknown group 'Acounts'. Did you mean 'Accounts'?\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"--server", url};
        arguments.insert(arguments.end(), c.Arguments.begin(), c.Arguments.end());
        const TToolRun run = Call(arguments);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Err;
        EXPECT_EQ(run.Err, CallMessage(c.Err));
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(server->ConnectionCount(), 0u);

    const TToolRun version = Call({"--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out, "vlcallbench-call 1.26\n");
    const TToolRun help = Call({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Out.starts_with("usage: vlcallbench-call [OPTIONS] COMMAND [NAME=VALUE ...]"));
    EXPECT_EQ(Call({}).ExitCode, 2);
}

// A failure keeps its details: the status line of a refused answer and then what the server
// said with it, a time that ran out, a connection that failed; each message after the tool's
// name, nothing on standard output.
TEST_F(CallToolTest, FailuresExitOneWithTheirMessage) {
    std::string closedPort;
    {
        const TScriptedServer gone(TServerScript().ReadRequest());
        closedPort = std::to_string(gone.Port());
    }
    const auto refusal = [](const char* AStatus, const std::string& AHeaders,
                            const std::string& ABody) {
        return std::string("HTTP/1.1 ") + AStatus + "\r\n" + AHeaders +
               "Content-Length: " + std::to_string(ABody.size()) + "\r\n\r\n" + ABody;
    };
    struct Case {
        const char* Name;
        std::string Answer; // empty: the server holds its answer until the tool gives up
        std::vector<std::string> Options;
        std::string Err; // after the tool's name
    } cases[] = {
        {"refused with a body",
         refusal("404 Not Found", "", "gone"),
         {},
         "HTTP/1.1 404 Not Found\ngone\n"},
        {"a body that ends its line",
         refusal("500 Internal Server Error", "", "no player x\n"),
         {},
         "HTTP/1.1 500 Internal Server Error\nno player x\n"},
        {"a body in its own charset",
         refusal("403 Forbidden", "Content-Type: text/plain; charset=iso-8859-1\r\n",
                 "M\xFCller\r\nis locked"),
         {},
         "HTTP/1.1 403 Forbidden\nM\xC3\xBCller\r\nis locked\n"},
        {"refused without a body",
         refusal("401 Unauthorized", "", ""),
         {},
         "HTTP/1.1 401 Unauthorized\n"},
        {"timed out", "", {"--timeout", "0.5"}, "Timed out after 0.5 s.\n"},
        {"connection refused", "closed", {}, "Socket Error # 10061\r\nConnection refused.\n"},
    };
    for (const Case& c : cases)
        for (const std::string& tool : {CallTool, PostTool}) {
            SCOPED_TRACE(tool + ": " + c.Name);
            const bool closed = c.Answer == "closed";
            TScriptedServer server(
                c.Answer.empty() ? TServerScript().ReadRequest().Hold()
                                 : TServerScript().ReadRequest().Send(closed ? "" : c.Answer));
            const std::string url =
                closed ? "http://127.0.0.1:" + closedPort + "/api" : Narrow(server.URL(u"/api"));
            std::vector<std::string> arguments = c.Options;
            if (tool == CallTool)
                arguments.insert(arguments.end(),
                                 {"--server", url, "--password-env", "SECRET", "SystemStats"});
            else
                arguments.insert(arguments.end(), {url, "Command=SystemStats"});
            const TToolRun run = RunTool(tool, arguments, Environment({"SECRET=pw"}));
            server.Release();
            EXPECT_EQ(run.ExitCode, 1);
            EXPECT_EQ(run.Out, "");
            EXPECT_EQ(run.Err,
                      (tool == CallTool ? "vlcallbench-call: " : "vlcallbench-post: ") + c.Err);
        }
}

// A call without any password (none given, none remembered) is sent, but the user is warned
// first: before the message of its failure, and with the answer that came.
TEST_F(CallToolTest, CallWithoutPasswordWarnsBeforeSending) {
    const std::string warning = CallMessage("warning: no password given (--password-env, "
                                            "--password-file) and none remembered; the call is "
                                            "sent without one.\n");
    TConnectionSettings remembered;
    remembered.RememberPW = true;
    remembered.Password = QStringLiteral("stored");
    struct Case {
        const char* Name;
        std::vector<std::string> Options;
        const TConnectionSettings* Settings;
        bool Warned;
    } cases[] = {
        {"none at all", {}, nullptr, true},
        {"an empty variable", {"--password-env", "EMPTY"}, nullptr, true},
        {"given", {"--password-env", "SECRET"}, nullptr, false},
        {"remembered", {}, &remembered, false},
    };
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    std::string closedUrl;
    {
        const TScriptedServer gone(TServerScript().ReadRequest());
        closedUrl = Narrow(gone.URL(u"/api"));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        FConfig.Save(c.Settings ? *c.Settings : TConnectionSettings());
        std::vector<std::string> arguments = c.Options;
        arguments.insert(arguments.end(), {"--server", url, "SystemStats"});
        const std::vector<std::string> environment{"SECRET=pw", "EMPTY="};
        TToolRun run = Call(arguments, environment);
        EXPECT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Out, "OK");
        EXPECT_EQ(run.Err, c.Warned ? warning : "");
        // The warning comes before anything is sent: before the failure to connect.
        arguments[arguments.size() - 2] = closedUrl;
        run = Call(arguments, environment);
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err.starts_with(warning), c.Warned) << run.Err;
        EXPECT_NE(run.Err.find(CallMessage("Socket Error # 10061")), std::string::npos) << run.Err;
    }
    // The curl line sends nothing itself.
    FConfig.Save(TConnectionSettings());
    const TToolRun line = Call({"--curl", "--server", url, "SystemStats"});
    EXPECT_EQ(line.ExitCode, 0);
    EXPECT_EQ(line.Err, "");
}

// A --server without http:// or https:// is a wrong use, found before anything is sent; the
// post tool passes on what its HTTP client says of such a URL.
TEST_F(CallToolTest, ServerWithoutSchemeIsAUsageError) {
    const auto server = AnsweringServer();
    const std::string hostAndPath = "127.0.0.1:" + std::to_string(server->Port()) + "/api";
    const std::string withoutScheme[] = {hostAndPath, "//" + hostAndPath, "ftp://" + hostAndPath,
                                         "localhost", ""};
    for (const std::string& bad : withoutScheme) {
        SCOPED_TRACE(bad);
        for (const bool curl : {false, true}) {
            std::vector<std::string> arguments{"--server", bad, "--password-env", "SECRET",
                                               "SystemStats"};
            if (curl)
                arguments.insert(arguments.begin(), "--curl");
            const TToolRun run = Call(arguments, {"SECRET=pw"});
            EXPECT_EQ(run.ExitCode, 2);
            EXPECT_EQ(run.Out, "");
            EXPECT_EQ(run.Err,
                      CallMessage("--server needs a URL that begins with http:// or https://, "
                                  "not '" +
                                  bad + "'.\n"));
        }
    }
    const TToolRun post = RunTool(PostTool, {hostAndPath, "Command=SystemStats"});
    EXPECT_EQ(post.ExitCode, 1);
    EXPECT_EQ(post.Err, "vlcallbench-post: Unknown Protocol\n");
    EXPECT_EQ(server->ConnectionCount(), 0u);

    // The scheme in any case.
    const TToolRun upper =
        Call({"--server", "HTTP://" + hostAndPath, "--password-env", "SECRET", "SystemStats"},
             {"SECRET=pw"});
    EXPECT_EQ(upper.ExitCode, 0) << upper.Err;
    EXPECT_EQ(server->ConnectionCount(), 1u);
}

// One set of conventions for the three tools: -h is --help, and every message on standard
// error, whatever went wrong, begins with the tool's name.
TEST_F(CallToolTest, ToolsShareTheirConventions) {
    for (const std::string& tool : {CallTool, PostTool, std::string(VL_CATALOGUE_TOOL)}) {
        SCOPED_TRACE(tool);
        const TToolRun help = RunTool(tool, {"--help"});
        const TToolRun shortHelp = RunTool(tool, {"-h"});
        EXPECT_EQ(help.ExitCode, 0);
        EXPECT_EQ(shortHelp.ExitCode, 0);
        EXPECT_TRUE(help.Out.starts_with("usage: ")) << help.Out;
        EXPECT_EQ(shortHelp.Out, help.Out);
        EXPECT_EQ(shortHelp.Err, "");
        EXPECT_NE(help.Out.find("-h, --help"), std::string::npos);
    }
    // "-h" after "--" is no option.
    EXPECT_EQ(Call({"--", "-h"}).Err, CallMessage("Unknown command '-h'.\n"));

    std::string closedUrl;
    {
        const TScriptedServer gone(TServerScript().ReadRequest());
        closedUrl = Narrow(gone.URL(u"/api"));
    }
    const auto refused = AnsweringServer("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
    const std::string refusedUrl = Narrow(refused->URL(u"/api"));
    const std::string missing = FConfig.File("missing");
    struct Case {
        std::string Tool;
        std::vector<std::string> Arguments;
        int ExitCode;
    } cases[] = {
        {CallTool, {"--forse"}, 2},
        {CallTool, {"NoSuchCommand"}, 2},
        {CallTool, {}, 2},
        {CallTool, {"--timeout", "0", "SystemStats"}, 2},
        {CallTool, {"--password-file", missing, "--server", closedUrl, "SystemStats"}, 2},
        {CallTool, {"--server", closedUrl, "SystemStats"}, 1},
        {CallTool, {"--server", refusedUrl, "--password-env", "SECRET", "SystemStats"}, 1},
        {CallTool, {"--list", "NoSuchGroup"}, 2},
        {PostTool, {"--forse", closedUrl}, 2},
        {PostTool, {}, 2},
        {PostTool, {"--timeout", "soon", closedUrl}, 2},
        {PostTool, {"--pin", "sha1:00", closedUrl}, 2},
        {PostTool, {"--cacert", missing, "https://127.0.0.1:1/api"}, 1},
        {PostTool, {closedUrl}, 1},
        {PostTool, {refusedUrl}, 1},
        {VL_CATALOGUE_TOOL, {"--json"}, 2},
    };
    for (const Case& c : cases) {
        std::string line = c.Tool.substr(c.Tool.rfind('/') + 1);
        for (const std::string& argument : c.Arguments)
            line += " " + argument;
        SCOPED_TRACE(line);
        const TToolRun run = RunTool(c.Tool, c.Arguments, Environment({"SECRET=pw"}));
        EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Err;
        EXPECT_TRUE(run.Err.starts_with(c.Tool.substr(c.Tool.rfind('/') + 1) + ": ")) << run.Err;
    }
}

// A password file is read with care: its first line only, at most 4 KiB of it, and a pipe or a
// device is waited for a few seconds at most. What would go out as other than the file holds is
// refused by name, and a file others may read is named too.
TEST_F(CallToolTest, PasswordFilesAreReadWithCare) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    // Nobody ever writes into this one: the tool gives up on its own, meanwhile the others run.
    const std::string silent = FConfig.File("silent");
    ASSERT_EQ(::mkfifo(silent.c_str(), 0600), 0);
    TToolProcess waiting(CallTool, {"--server", url, "--password-file", silent, "SystemStats"},
                         FConfig.Environment());

    const auto file = [&](const char* AName, const std::string& AContents, mode_t AMode = 0600) {
        std::string path = FConfig.File(AName);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        EXPECT_GE(fd, 0) << path;
        EXPECT_EQ(::write(fd, AContents.data(), AContents.size()),
                  static_cast<ssize_t>(AContents.size()));
        ::fchmod(fd, AMode); // whatever the umask
        ::close(fd);
        return path;
    };
    const std::string folder = FConfig.File("folder");
    std::filesystem::create_directory(folder);
    const auto firstLine = [](const std::string& APath, const char* AWhat) {
        return "The first line of the password file " + APath + " " + AWhat + "\n";
    };
    const auto cannot = [](const std::string& APath, const char* AWhy) {
        return "Cannot read the password file " + APath + ": " + AWhy + "\n";
    };
    const char* const tooLong = "is too long: it does not end within 4096 bytes.";
    const std::string empty = file("empty", "");
    const std::string blank = file("blank", "\nsecond\n");
    const std::string crlf = file("crlf", "\r\nsecond");
    const std::string nul = file("nul", std::string("pw\0x\n", 5));
    const std::string latin1 = file("latin1", "p\xE4ss\n");
    const std::string overlong = file("overlong", "\xC0\xAF\n");
    const std::string surrogate = file("surrogate", "pw\xED\xA0\x80\n");
    const std::string longLine = file("long", std::string(4096, 'a') + "\n");
    const std::pair<std::string, std::string> refused[] = {
        {empty, "The password file " + empty + " is empty.\n"},
        {"/dev/null", "The password file /dev/null is empty.\n"},
        {blank, firstLine(blank, "is empty.")},
        {crlf, firstLine(crlf, "is empty.")},
        {nul, firstLine(nul, "holds a NUL byte.")},
        {latin1, firstLine(latin1, "is not valid UTF-8.")},
        {overlong, firstLine(overlong, "is not valid UTF-8.")},
        {surrogate, firstLine(surrogate, "is not valid UTF-8.")},
        {longLine, firstLine(longLine, tooLong)},
        {"/dev/zero", firstLine("/dev/zero", tooLong)},
        {folder, cannot(folder, "it is not a regular file, a pipe or a character device.")},
        {FConfig.File("missing"), cannot(FConfig.File("missing"), "No such file or directory")},
    };
    for (const auto& [path, message] : refused) {
        const TToolRun run = Call({"--server", url, "--password-file", path, "SystemStats"});
        EXPECT_EQ(run.ExitCode, 2) << path;
        EXPECT_EQ(run.Err, CallMessage(message));
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(server->ConnectionCount(), 0u);

    // A pipe that has its line waiting.
    const std::string fed = FConfig.File("fed");
    ASSERT_EQ(::mkfifo(fed.c_str(), 0600), 0);
    const int writer = ::open(fed.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "fifo pw\n", 8), 8);
    const auto warning = [](const std::string& APath) {
        return "vlcallbench-call: warning: the password file " + APath +
               " is readable by others; chmod 600 " + APath + "\n";
    };
    const std::string readable = file("readable", " pw \n", 0644);
    const std::string group = file("group", "g\n", 0640);
    const struct {
        std::string Path, Password, Err;
    } accepted[] = {
        {file("lines", "from file\r\nsecond line\n"), "from+file", ""},
        {file("cr", "pw\r"), "pw", ""},
        {file("utf8", "p\xC3\xA4ss"), "p%C3%A4ss", ""},
        {file("longest", std::string(4095, 'a') + "\nb"), std::string(4095, 'a'), ""},
        {fed, "fifo+pw", ""},
        {readable, "+pw+", warning(readable)},
        {group, "g", warning(group)},
    };
    std::size_t requests = 0;
    for (const auto& c : accepted) {
        const TToolRun run = Call({"--server", url, "--password-file", c.Path, "SystemStats"});
        EXPECT_EQ(run.ExitCode, 0) << c.Path << ": " << run.Err;
        EXPECT_EQ(run.Err, c.Err);
        ASSERT_TRUE(server->WaitForScriptsDone(++requests));
        EXPECT_EQ(BodyOf(server->Requests().back()),
                  "Command=SystemStats&Password=" + c.Password + "&JSON=Yes");
    }
    ::close(writer);

    EXPECT_EQ(waiting.Finish(20000), 2);
    EXPECT_EQ(waiting.Err, CallMessage(cannot(silent, "nothing came from it within 5 seconds.")));
    EXPECT_EQ(server->ConnectionCount(), requests);
}

// A settings file that is no regular file is not read: a pipe nobody writes would hold the tool
// for ever. A call that needs its values is refused; one that does not is sent, and told so.
TEST_F(CallToolTest, SettingsFileThatIsNoFileIsNotRead) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    const std::string settings = FConfig.File("Tessarine.conf");
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    const std::string refusal =
        "The settings file " + settings + " is a pipe, not a file; it was not read.";
    // Bounded: the tool that reads the pipe waits for ever.
    const auto run = [&](const std::vector<std::string>& AArguments) {
        TToolProcess process(CallTool, AArguments, Environment({"SECRET=pw"}));
        return TToolRun{process.Finish(20000), process.Out, process.Err};
    };
    TToolRun result = run({"--server", url, "--password-env", "SECRET", "SystemStats"});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err, CallMessage(refusal + "\n"));
    result = run({"--password-env", "SECRET", "--force", "SystemStats"});
    EXPECT_EQ(result.ExitCode, 2);
    EXPECT_EQ(result.Err, CallMessage(refusal + "\n"));
    EXPECT_EQ(server->ConnectionCount(), 0u);

    result = run({"--server", url, "--password-env", "SECRET", "--force", "SystemStats"});
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(result.Err, CallMessage(refusal + " The call is kept in the history.\n"));
    ASSERT_TRUE(server->WaitForScriptsDone(1));
}

// A port that is no port number, in either tool's URL or in the window's settings, is refused by
// name and nothing is sent: not to the port a wrapped or misread number would reach (the
// server's), nor to the scheme's port in its place.
TEST_F(CallToolTest, PortsThatAreNoPortNumbersAreRefusedByName) {
    const auto server = AnsweringServer();
    const std::string port = std::to_string(server->Port());
    std::ostringstream hex;
    hex << "0x" << std::hex << server->Port();
    const std::string ports[] = {"99999",
                                 "65536",
                                 std::to_string(server->Port() + 65536),
                                 std::to_string(server->Port() - 65536),
                                 hex.str(),
                                 port + "o",
                                 port + ":" + port,
                                 ""};
    const auto Settings = [](const std::string& AAddress, const std::string& APort) {
        TConnectionSettings settings;
        settings.IP = QString::fromStdString(AAddress);
        settings.Port = QString::fromStdString(APort);
        settings.Path = QStringLiteral("api");
        return settings;
    };
    const auto invalid = [](const std::string& APort) {
        return "Invalid port \"" + APort + "\": a port is a number from 1 to 65535.\n";
    };
    for (const std::string& bad : ports) {
        SCOPED_TRACE(bad);
        const std::string url = "http://127.0.0.1:" + bad + "/api";
        TToolRun run = RunTool(PostTool, {url, "Password=secret"});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err, "vlcallbench-post: " + invalid(bad));
        run = Call({"--server", url, "--password-env", "SECRET", "SystemStats"}, {"SECRET=pw"});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err, CallMessage(invalid(bad)));
        if (bad.empty())
            continue; // an empty port field is missing, and said so
        FConfig.Save(Settings("http://127.0.0.1", bad));
        run = Call({"--password-env", "SECRET", "SystemStats"}, {"SECRET=pw"});
        EXPECT_EQ(run.ExitCode, 1);
        EXPECT_EQ(run.Err, CallMessage(invalid(bad)));
    }
    EXPECT_EQ(server->ConnectionCount(), 0u);

    // The address names the host only: its own port is refused, a trailing "/" dropped.
    FConfig.Save(Settings("http://127.0.0.1:" + port, port));
    TToolRun run = Call({"--password-env", "SECRET", "SystemStats"}, {"SECRET=pw"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, CallMessage("Server address \"http://127.0.0.1:" + port +
                                   "\" has a port of its own besides port \"" + port +
                                   "\" in the window's settings; give --server URL.\n"));
    EXPECT_EQ(server->ConnectionCount(), 0u);
    FConfig.Save(Settings("http://127.0.0.1/", port));
    run = Call({"--password-env", "SECRET", "SystemStats"}, {"SECRET=pw"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_TRUE(server->WaitForScriptsDone(1));
    EXPECT_TRUE(server->Requests().back().starts_with("POST /api HTTP/1.0\r\n"));
    EXPECT_NE(server->Requests().back().find("\r\nHost: 127.0.0.1:" + port + "\r\n"),
              std::string::npos);
}

// The curl line makes the same call: run by a shell against a loopback server, it delivers the
// body the tool itself sends.
TEST_F(CallToolTest, CurlLineSendsTheSameBody) {
    if (std::system("command -v curl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "curl is not installed";
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    const std::vector<std::string> call{"--server",  url,           "--password-env",
                                        "SECRET",    "AccountsAdd", "Player=J\xC3\xB6 'x'",
                                        "Note=a&b=c"};
    const std::vector<std::string> environment{"SECRET=s3cret", "VL_PASSWORD=s3cret"};
    ASSERT_EQ(Call(call, environment).ExitCode, 0);
    ASSERT_TRUE(server->WaitForScriptsDone(1));
    const std::string sent = BodyOf(server->Requests().back());
    EXPECT_EQ(sent, "Command=AccountsAdd&Password=s3cret&JSON=Yes&Player=J%C3%B6+%27x%27&Note=a%"
                    "26b%3Dc");

    int requests = 1;
    for (const bool show : {false, true}) {
        const TToolRun line = Call(CurlArguments(call, show), environment);
        ASSERT_EQ(line.ExitCode, 0) << line.Err;
        EXPECT_EQ(line.Out.find("s3cret") != std::string::npos, show) << line.Out;
        EXPECT_EQ(line.Out.find("$VL_PASSWORD") != std::string::npos ||
                      line.Out.find("${VL_PASSWORD}") != std::string::npos,
                  !show);
        const TToolRun curl = RunTool("/bin/sh", {"-c", line.Out}, environment);
        EXPECT_EQ(curl.ExitCode, 0) << curl.Err;
        EXPECT_EQ(curl.Out, "OK");
        ASSERT_TRUE(server->WaitForScriptsDone(++requests));
        EXPECT_EQ(BodyOf(server->Requests().back()), sent) << line.Out;
    }
}

// Both tools write the answer as it arrives: the first part reaches the pipe while the server
// still holds back the rest, and a failure after it still exits 1 with its message. A text type
// without a charset (ISO-8859-1), and one in a charset that needs a converter, arrive as they come
// too.
TEST_F(CallToolTest, AnswersAreWrittenAsTheyArrive) {
    struct TCase {
        std::string ContentType, First, Rest;
        std::string FirstOut, WholeOut; // UTF-8
    };
    const TCase cases[] = {
        // The character cut in two waits for its last byte.
        {"text/plain; charset=utf-8", "first \xE2\x82", "\xAC part", "first ",
         "first \xE2\x82\xAC part"},
        {"text/plain", "first \xE9", " part", "first \xC3\xA9", "first \xC3\xA9 part"},
        {"text/plain; charset=windows-1252", "first \x80", " part", "first \xE2\x82\xAC",
         "first \xE2\x82\xAC part"},
        {"text/plain; charset=Shift_JIS", "first \x93\xFA\x82", "\xA0 part", "first \xE6\x97\xA5",
         "first \xE6\x97\xA5\xE3\x81\x82 part"},
    };
    for (const TCase& answer : cases)
        for (const std::string& tool : {CallTool, PostTool}) {
            SCOPED_TRACE(tool + " " + answer.ContentType);
            TScriptedServer server(
                TServerScript()
                    .ReadRequest()
                    .Send("HTTP/1.1 200 OK\r\nContent-Type: " + answer.ContentType +
                          "\r\nContent-Length: 100\r\n\r\n" + answer.First)
                    .Hold()
                    .Send(answer.Rest));
            const std::string url = Narrow(server.URL(u"/api"));
            const std::vector<std::string> arguments =
                tool == CallTool ? std::vector<std::string>{"--server", url, "--password-env",
                                                            "SECRET", "SystemStats"}
                                 : std::vector<std::string>{url, "Command=SystemStats"};
            TToolProcess process(tool, arguments, Environment({"SECRET=pw"}));
            EXPECT_TRUE(process.WaitForOut(answer.FirstOut.size()));
            EXPECT_EQ(process.Out, answer.FirstOut);
            server.Release();
            EXPECT_EQ(process.Finish(), 1);
            EXPECT_EQ(process.Out, answer.WholeOut);
            EXPECT_EQ(process.Err.substr(0, process.Err.find_last_not_of('\n') + 1),
                      (tool == CallTool ? "vlcallbench-call: " : "vlcallbench-post: ") +
                          std::string("Connection Closed Gracefully."));
        }
}

TEST_F(CallToolTest, ListAndDescribe) {
    TToolRun run = Call({"--list", "accounts"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find("\nAccountsList\t2.10+\tread\tRetrieve specified settings from "
                           "multiple players.\n"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\nAccountsDelete\t2.10+\tremove\tDeletes the specified player "
                           "account.\n"),
              std::string::npos);
    EXPECT_NE(run.Out.find("\nAccountsIncBalance\t2.10+\tmoney\t"), std::string::npos);
    EXPECT_EQ(run.Out.find("Blacklist"), std::string::npos); // one group only

    run = Call({"--describe", "accountslist"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.starts_with("AccountsList (versions 2.10+)\nClass: read\n")) << run.Out;
    EXPECT_NE(run.Out.find("\nPlayers\t4.40+\t"), std::string::npos);
    run = Call({"--describe", "AccountsEdit"});
    EXPECT_TRUE(run.Out.starts_with("AccountsEdit (versions 2.10+)\nClass: change\n")) << run.Out;

    // --json: the catalogue export's own text for that part.
    const TToolRun whole = RunTool(VL_CATALOGUE_TOOL, {});
    for (const char* name : {"AccountsList", "Accounts"}) {
        run = Call({std::string(name) == "Accounts" ? "--list" : "--describe", name, "--json"});
        EXPECT_EQ(run.ExitCode, 0);
        ASSERT_TRUE(run.Out.starts_with("[\n  {\"header\": ")) << run.Out;
        const std::string first = run.Out.substr(2, run.Out.find('\n', 2) - 2);
        EXPECT_NE(whole.Out.find(first), std::string::npos);
        EXPECT_TRUE(run.Out.ends_with("]}\n]\n"));
        EXPECT_NE(run.Out.find("\"name\": \"AccountsList\", "), std::string::npos);
        EXPECT_NE(run.Out.find("\"vermax\": 99900, \"class\": \"read\", \"params\""),
                  std::string::npos)
            << run.Out;
    }
}

// Both tools print an answer's exact bytes into a pipe; only on a terminal does a line break
// follow an answer that does not end with one, so the prompt starts on a line of its own.
TEST_F(CallToolTest, ALineBreakIsAddedOnlyOnATerminal) {
    struct Case {
        std::string Answer;
        std::string Piped;
        std::string OnTerminal;
    } cases[] = {
        {"{\"Result\":1}", "{\"Result\":1}", "{\"Result\":1}\n"},
        {"crlf\r\n", "crlf\r\n", "crlf\r\n"},
        {"cr\r", "cr\r", "cr\r\n"},
        {"", "", ""},
    };
    for (const Case& c : cases)
        for (const std::string& tool : {CallTool, PostTool})
            for (const bool terminal : {false, true}) {
                SCOPED_TRACE(tool + (terminal ? " on a terminal: " : " piped: ") + c.Answer);
                const auto server = AnsweringServer(c.Answer);
                const std::string url = Narrow(server->URL(u"/api"));
                const std::vector<std::string> arguments =
                    tool == CallTool ? std::vector<std::string>{"--server", url, "--password-env",
                                                                "SECRET", "SystemStats"}
                                     : std::vector<std::string>{url, "Command=SystemStats"};
                const std::vector<std::string> environment = Environment({"SECRET=pw"});
                const TToolRun run = terminal ? RunToolOnTerminal(tool, arguments, environment)
                                              : RunTool(tool, arguments, environment);
                EXPECT_EQ(run.ExitCode, 0) << run.Err;
                EXPECT_EQ(run.Out, terminal ? c.OnTerminal : c.Piped);
            }
}

// --list and --describe: on a terminal (standard output a tty) in columns aligned by blanks; to a
// pipe one line per entry, its fields separated by tabs, for cut and awk.
TEST_F(CallToolTest, ListingsAlignOnATerminalAndStayTabSeparatedWhenPiped) {
    TCommandList commands;
    AppendCatalogue(commands);
    const auto find = [&commands](const std::string& AName) -> const TCommand& {
        for (const auto& entry : commands)
            if (entry->Name == AName)
                return *entry;
        throw std::invalid_argument(AName);
    };
    // The rows each listing shows: its first two cells.
    std::vector<std::pair<std::string, std::string>> accounts;
    bool inGroup = false;
    for (const auto& entry : commands) {
        if (entry->Header)
            inGroup = entry->Name == "Accounts";
        else if (inGroup)
            accounts.emplace_back(entry->Name, VersionRange(entry->VerMin, entry->VerMax));
    }
    std::vector<std::pair<std::string, std::string>> parameters;
    for (const auto& param : find("AccountsAdd").Params)
        parameters.emplace_back(param->Name, VersionRange(param->VerMin, param->VerMax));
    struct Case {
        std::vector<std::string> Arguments;
        const std::vector<std::pair<std::string, std::string>>& Rows;
        long Tabs; // of a piped line: a listed command has its class before its help
    } cases[] = {
        {{"--list", "accounts"}, accounts, 3},
        {{"--describe", "AccountsAdd"}, parameters, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Arguments[0]);
        const TToolRun terminal = RunToolOnTerminal(CallTool, c.Arguments, {}, 100);
        EXPECT_EQ(terminal.ExitCode, 0) << terminal.Err;
        EXPECT_EQ(terminal.Out.find('\t'), std::string::npos);
        std::set<std::size_t> secondColumn;
        std::set<std::size_t> thirdColumn;
        for (const auto& [first, second] : c.Rows) {
            // The last such line: a command's help comes before its parameters.
            const std::size_t start = terminal.Out.rfind("\n" + first + " ");
            ASSERT_NE(start, std::string::npos) << first << " in\n" << terminal.Out;
            const std::string line =
                terminal.Out.substr(start + 1, terminal.Out.find('\n', start + 1) - start - 1);
            EXPECT_LT(line.size(), 100u) << line;
            const std::size_t at = line.find(second, first.size());
            secondColumn.insert(at);
            if (const std::size_t help = line.find_first_not_of(' ', at + second.size());
                help != std::string::npos)
                thirdColumn.insert(help);
        }
        EXPECT_EQ(secondColumn.size(), 1u) << terminal.Out;
        EXPECT_EQ(thirdColumn.size(), 1u) << terminal.Out;

        const TToolRun piped = RunTool(CallTool, c.Arguments);
        EXPECT_EQ(piped.ExitCode, 0) << piped.Err;
        const std::string pipedLines = "\n" + piped.Out;
        for (const auto& [first, second] : c.Rows) {
            std::string row = "\n";
            row.append(first).append("\t").append(second).append("\t");
            EXPECT_NE(pipedLines.find(row), std::string::npos) << first << " in\n" << piped.Out;
        }
        std::istringstream lines(piped.Out);
        std::size_t rows = 0;
        for (std::string line; std::getline(lines, line);)
            rows += std::count(line.begin(), line.end(), '\t') == c.Tabs;
        EXPECT_EQ(rows, c.Rows.size()) << piped.Out;
    }
}

// --describe explains the parameters the tool fills itself for its command line, not for the
// window: no list on the left, no toolbar, no switch at the bottom. The JSON stays the
// catalogue's own.
TEST(CatalogueText, StandardParametersAreWordedForTheCommandLine) {
    TCommandList commands;
    AppendCatalogue(commands);
    const char* const windowWords[] = {"left side", "toolbar", "on the bottom", "selected in"};
    const char* const commandLineWords[] = {"COMMAND", "--password-env", "--password-file",
                                            "--legacy"};
    for (const auto& entry : commands) {
        if (entry->Header)
            continue;
        for (const int width : {0, 100}) {
            const std::string text = DescribeText(*entry, width);
            for (const char* words : windowWords)
                EXPECT_EQ(text.find(words), std::string::npos) << entry->Name << ": " << words;
            for (const char* words : commandLineWords)
                EXPECT_NE(text.find(words), std::string::npos) << entry->Name << ": " << words;
        }
    }
    const TToolRun json = RunTool(CallTool, {"--describe", "SystemStats", "--json"});
    EXPECT_NE(json.Out.find("left side list"), std::string::npos);
}

// On a terminal the columns are aligned and the help is wrapped to the width under its column.
TEST(CatalogueText, WrappedToTheTerminalWidth) {
    TCommandList commands;
    AppendCatalogue(commands);
    const TCommand* add = nullptr;
    for (const auto& entry : commands)
        if (entry->Name == "AccountsAdd")
            add = entry.get();
    ASSERT_NE(add, nullptr);
    for (const int width : {50, 100}) {
        std::istringstream text(DescribeText(*add, width) + ListText(commands, nullptr, width));
        std::string line;
        int continued = 0;
        while (std::getline(text, line)) {
            EXPECT_LT(line.size(), static_cast<std::size_t>(width)) << line;
            continued += line.starts_with("    ");
        }
        EXPECT_GT(continued, 10);
    }
}

// Every call the tool sends is kept as the window keeps a Send: the form as sent with the
// password's value emptied, the outcome, the status line and the answer; nothing else is.
TEST_F(CallToolTest, SentCallsAreKeptInTheHistoryWithoutThePassword) {
    const std::string password = "s3cret-Pw";
    const std::vector<std::string> environment{"SECRET=" + password};
    const auto server = AnsweringServer("{\"Result\":1}");
    const std::string url = Narrow(server->URL(u"/api"));
    TToolRun run = Call({"--server", url, "--password-env", "SECRET", "AccountsGet", "Player=joe"},
                        environment);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    const auto refused = AnsweringServer("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
    run = Call({"--server", Narrow(refused->URL(u"/api")), "--password-env", "SECRET", "--legacy",
                "SystemStats"},
               environment);
    ASSERT_EQ(run.ExitCode, 1);
    std::string closedUrl;
    {
        const TScriptedServer gone(TServerScript().ReadRequest());
        closedUrl = Narrow(gone.URL(u"/api"));
    }
    run = Call({"--server", closedUrl, "SystemStats"});
    ASSERT_EQ(run.ExitCode, 1);
    const std::vector<THistoryCall> sent = StoredCalls(FConfig.HistoryFolder());

    // Not sent: not kept.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--curl", "--server", url, "SystemStats"},
          std::vector<std::string>{"--list"}, std::vector<std::string>{"--describe", "SystemStats"},
          std::vector<std::string>{"--server", url, "AccountsGet", "Playr=x"}})
        Call(arguments, environment);
    ASSERT_EQ(StoredCalls(FConfig.HistoryFolder()).size(), 3U);
    ASSERT_EQ(sent.size(), 3U);

    const THistoryCall& answer = sent[2];
    EXPECT_EQ(answer.Outcome, THistoryOutcome::Answer);
    EXPECT_EQ(answer.URL.toStdString(), url);
    EXPECT_EQ(answer.Command, QStringLiteral("AccountsGet"));
    EXPECT_EQ(answer.Fields,
              (QStringList{QStringLiteral("Command=AccountsGet"), QStringLiteral("Password="),
                           QStringLiteral("JSON=Yes"), QStringLiteral("Player=joe")}));
    EXPECT_EQ(answer.Format, QStringLiteral("JSON"));
    EXPECT_EQ(answer.StatusLine, QStringLiteral("HTTP/1.1 200 OK"));
    EXPECT_EQ(answer.ContentType, QStringLiteral("text/plain"));
    EXPECT_EQ(answer.AnswerSize, 12);
    EXPECT_EQ(answer.Answer, QStringLiteral("{\"Result\":1}"));
    EXPECT_FALSE(answer.AnswerCut);
    EXPECT_GE(answer.DurationMs, 0);
    EXPECT_LT(std::abs(answer.When.secsTo(QDateTime::currentDateTimeUtc())), 60);
    // Found by the words of its answer, as a Send is.
    const std::vector<THistoryCall> found = StoredCalls(FConfig.HistoryFolder(), "Result");
    ASSERT_EQ(found.size(), 1U);
    EXPECT_EQ(found[0].Id, answer.Id);

    EXPECT_EQ(sent[1].Outcome, THistoryOutcome::Error);
    EXPECT_EQ(sent[1].Format, QStringLiteral("Legacy"));
    EXPECT_EQ(sent[1].ErrorText, QStringLiteral("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(sent[1].StatusLine, QStringLiteral("HTTP/1.1 404 Not Found"));
    EXPECT_EQ(sent[1].Answer, QStringLiteral("gone")); // the body sent with the refusal
    EXPECT_EQ(sent[0].Outcome, THistoryOutcome::Error);
    EXPECT_FALSE(sent[0].ErrorText.isEmpty());
    EXPECT_EQ(sent[0].StatusLine, QString());
    EXPECT_EQ(sent[0].Fields,
              (QStringList{QStringLiteral("Command=SystemStats"), QStringLiteral("JSON=Yes")}));

    const QDir folder(FConfig.HistoryFolder());
    for (const QString& name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(password.c_str())) << name.toStdString();
    }
}

// The whole answer goes out; the history keeps its first 16 MiB, ending with a whole character,
// and marks it cut. The words of what is kept are found by the history's filter, though the tool
// leaves indexing them for later.
TEST_F(CallToolTest, LongAnswersAreKeptCut) {
    const std::size_t limit = std::size_t(16) << 20;
    const std::string head = "Quetzalcoatl ";
    const std::string body =
        head + std::string(limit - 1 - head.size(), 'a') + "\xE2\x82\xAC Tlaloc";
    const auto server = AnsweringServer(body);
    const TToolRun run = Call({"--server", Narrow(server->URL(u"/api")), "SystemStats"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(run.Out == body);
    const std::vector<THistoryCall> calls = StoredCalls(FConfig.HistoryFolder());
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_TRUE(calls[0].AnswerCut);
    EXPECT_EQ(calls[0].AnswerSize, static_cast<qint64>(body.size()));
    EXPECT_TRUE(calls[0].Answer ==
                QString::fromStdString(head) +
                    QString(static_cast<qsizetype>(limit - 1 - head.size()), u'a'));
    EXPECT_EQ(StoredCalls(FConfig.HistoryFolder(), QStringLiteral("quetzal")).size(), 1U);
    EXPECT_EQ(StoredCalls(FConfig.HistoryFolder(), QStringLiteral("tlaloc")).size(), 0U);
}

// "Keep call history" off: nothing is kept. A history that cannot be written changes neither
// the answer nor the exit code, and says so in one line.
TEST_F(CallToolTest, HistoryOffOrUnwritableLeavesTheCallAlone) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    TConnectionSettings settings;
    settings.KeepHistory = false;
    FConfig.Save(settings);
    TToolRun run =
        Call({"--server", url, "--password-env", "SECRET", "SystemStats"}, {"SECRET=pw"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "OK");
    EXPECT_FALSE(QFileInfo::exists(FConfig.HistoryFolder()));

    settings.KeepHistory = true;
    FConfig.Save(settings);
    // Root may write into any folder, so one data folder cannot exist at all: a plain file.
    const std::string blocker = FConfig.File("blocker");
    std::FILE* file = std::fopen(blocker.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    const std::string readOnly = FConfig.File("read-only");
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
    for (const std::string& data : {blocker, readOnly}) {
        SCOPED_TRACE(data);
        run = Call({"--server", url, "--password-env", "SECRET", "SystemStats"},
                   {"XDG_DATA_HOME=" + data, "SECRET=pw"});
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Out, "OK");
        const bool unwritable = data == blocker || ::geteuid() != 0;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), unwritable ? 1 : 0) << run.Err;
        if (unwritable) {
            EXPECT_TRUE(run.Err.starts_with("vlcallbench-call: Calls are not being recorded: "))
                << run.Err;
        }
    }
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
}

// Ctrl+C during a call: the part of the answer that came is written, the call is kept as
// cancelled, and the tool ends as the signal ends it.
TEST_F(CallToolTest, InterruptedCallIsKeptAsCancelled) {
    TScriptedServer server(TServerScript()
                               .ReadRequest()
                               .Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain; "
                                     "charset=utf-8\r\nContent-Length: 100\r\n\r\nfirst ")
                               .Hold());
    TToolProcess process(
        CallTool,
        {"--server", Narrow(server.URL(u"/api")), "--password-env", "SECRET", "SystemStats"},
        Environment({"SECRET=pw"}));
    ASSERT_TRUE(process.WaitForOut(6));
    process.Signal(SIGINT);
    EXPECT_EQ(process.Finish(10000), -1); // ended by the signal, in time
    server.Release();
    EXPECT_EQ(process.Out, "first ");
    EXPECT_EQ(process.Err, "");
    const std::vector<THistoryCall> calls = StoredCalls(FConfig.HistoryFolder());
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].Outcome, THistoryOutcome::Cancelled);
    EXPECT_EQ(calls[0].Command, QStringLiteral("SystemStats"));
}

// The part of an answer the history keeps: whole characters only, whatever the pieces it came
// in, and the cut marked. A short text is handed over as it is; a longer one compressed, having
// gone through the compressing thread in chunks.
TEST(AnswerCapture, KeepsWholeCharactersUpToItsLimit) {
    std::string records;
    for (int i = 0; records.size() < (3u << 20); ++i)
        records += "{\"Player\":\"Spieler" + std::to_string(i * 7919 % 100003) +
                   "\",\"City\":\"M\xC3\xBCnchen\"},";
    const std::string_view many(records);
    std::size_t cutAt = std::size_t(2) << 20;
    while ((static_cast<unsigned char>(many[cutAt]) & 0xC0) == 0x80)
        --cutAt;
    struct Case {
        const char* Name;
        qint64 Limit;
        qint64 PlainLimit;
        std::vector<std::string_view> Pieces;
        std::string_view Kept;
        bool Cut;
    } cases[] = {
        {"all of it", 16, 16, {"ab", "", "c\xC3\xA9"}, "abc\xC3\xA9", false},
        {"exactly the limit", 3, 16, {"ab", "c"}, "abc", false},
        {"one more piece", 3, 16, {"abc", "d"}, "abc", true},
        {"not inside a character", 4, 16, {"abc\xE2\x82\xAC"}, "abc", true},
        {"a four-byte character",
         6,
         16,
         {"a", "\xF0\x9F\x98\x80\xF0\x9F\x98\x80"},
         "a\xF0\x9F\x98\x80",
         true},
        {"nothing", 16, 16, {}, "", false},
        {"compressed past the plain limit", 16, 2, {"ab", "c\xC3\xA9"}, "abc\xC3\xA9", false},
        {"compressed in chunks and cut",
         qint64(2) << 20,
         1000,
         {many.substr(0, 700), many.substr(700, 1 << 20), many.substr(700 + (1 << 20))},
         many.substr(0, cutAt),
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TAnswerCapture capture(c.Limit, c.PlainLimit);
        for (const std::string_view piece : c.Pieces)
            capture.Write(piece);
        THistoryCall call;
        capture.TakeInto(call);
        const bool plain = static_cast<qint64>(c.Kept.size()) <= c.PlainLimit;
        EXPECT_EQ(call.AnswerUtf8.isNull(), !plain);
        const QByteArray kept =
            plain ? call.AnswerUtf8 : AnswerBlob::Decompress(call.AnswerCompressed);
        EXPECT_EQ(kept.toStdString(), c.Kept);
        if (!plain) {
            EXPECT_EQ(call.AnswerTextBytes, kept.size());
        }
        EXPECT_EQ(capture.Cut(), c.Cut);
    }
}

// A player's password and its hash go out as given but are kept like the API password: the
// history holds their names alone, so its filter cannot find them, and the curl line takes them
// from shell variables of their own (VL_PW, VL_PWHASH) that make it send the same body, unless
// --show-password asks for them in clear.
TEST_F(CallToolTest, SecretParametersStayOutOfTheHistoryAndTheCurlLine) {
    if (std::system("command -v curl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "curl is not installed";
    struct Case {
        const char* Command;
        std::vector<std::string> Lines; // after Player=
        std::vector<std::string> Secrets;
        std::vector<std::string> Variables; // the shell's values of the secrets
        QStringList Kept;                   // the fields after Command, Password and JSON
    } cases[] = {
        {"AccountsAdd",
         {"PW=Walrus7Quiet", "PWHash=9f86d081884c7d65", "Email=quokka@example.org"},
         {"Walrus7Quiet", "9f86d081884c7d65"},
         {"VL_PW=Walrus7Quiet", "VL_PWHASH=9f86d081884c7d65"},
         {QStringLiteral("PW="), QStringLiteral("PWHash="),
          QStringLiteral("Email=quokka@example.org")}},
        {"AccountsEdit",
         {"pw=Otter3Lantern"},
         {"Otter3Lantern"},
         {"VL_PW=Otter3Lantern"},
         {QStringLiteral("PW=")}},
        {"AccountsPassword",
         {"PW=Falcon9Kite"},
         {"Falcon9Kite"},
         {"VL_PW=Falcon9Kite"},
         {QStringLiteral("PW=")}},
    };
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    int requests = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Command);
        const std::string player = std::string("Player") + c.Command;
        std::vector<std::string> call{"--server", url,       "--password-env",
                                      "SECRET",   c.Command, "Player=" + player};
        call.insert(call.end(), c.Lines.begin(), c.Lines.end());
        std::vector<std::string> environment{"SECRET=Api7Heron", "VL_PASSWORD=Api7Heron"};
        environment.insert(environment.end(), c.Variables.begin(), c.Variables.end());
        ASSERT_EQ(Call(call, environment).ExitCode, 0);
        ASSERT_TRUE(server->WaitForScriptsDone(++requests));
        const std::string sent = BodyOf(server->Requests().back());
        for (const std::string& secret : c.Secrets)
            EXPECT_NE(sent.find(secret), std::string::npos) << sent;

        const std::vector<THistoryCall> kept =
            StoredCalls(FConfig.HistoryFolder(), QString::fromStdString(player));
        ASSERT_EQ(kept.size(), 1U);
        EXPECT_EQ(
            kept[0].Fields,
            (QStringList{QStringLiteral("Command=") + c.Command, QStringLiteral("Password="),
                         QStringLiteral("JSON=Yes"), QString::fromStdString("Player=" + player)} +
             c.Kept));
        for (const std::string& secret : c.Secrets)
            EXPECT_TRUE(
                StoredCalls(FConfig.HistoryFolder(), QString::fromStdString(secret)).empty())
                << secret;

        for (const bool show : {false, true}) {
            const TToolRun line = Call(CurlArguments(call, show), environment);
            ASSERT_EQ(line.ExitCode, 0) << line.Err;
            for (const std::string& secret : c.Secrets)
                EXPECT_EQ(line.Out.find(secret) != std::string::npos, show) << line.Out;
            for (const std::string& variable : c.Variables)
                EXPECT_EQ(line.Out.find("${" + variable.substr(0, variable.find('=')) + "}") !=
                              std::string::npos,
                          !show)
                    << line.Out;
            const TToolRun curl = RunTool("/bin/sh", {"-c", line.Out}, environment);
            EXPECT_EQ(curl.ExitCode, 0) << curl.Err;
            ASSERT_TRUE(server->WaitForScriptsDone(++requests));
            EXPECT_EQ(BodyOf(server->Requests().back()), sent) << line.Out;
        }
    }
    const QDir folder(FConfig.HistoryFolder());
    for (const QString& name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        for (const Case& c : cases)
            for (const std::string& secret : c.Secrets)
                EXPECT_FALSE(bytes.contains(secret.c_str())) << name.toStdString() << " " << secret;
    }
}

// Profiles made from the command line; a call names one and takes its address and version, and
// explicit options still win.
TEST_F(CallToolTest, ProfilesAreAddedListedUsedAndRemoved) {
    TConnectionSettings settings;
    settings.IP = QStringLiteral("http://127.0.0.1");
    settings.Port = QStringLiteral("1");
    settings.Path = QStringLiteral("api");
    FConfig.Save(settings);
    const auto server = AnsweringServer("{\"Result\":\"Ok\"}");
    const std::string url = Narrow(server->URL(u"/api"));

    EXPECT_EQ(Call({"--profile-add", "test", "--server", url, "--server-version", "7.00"}).ExitCode,
              0);
    TToolRun run = Call({"--profile-add", "Test", "--server", url});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "vlcallbench-call: A profile named 'test' exists already.\n");
    EXPECT_EQ(Call({"--profile-add", "x", "--server", "ftp://h/api"}).ExitCode, 2);
    EXPECT_EQ(Call({"--profile-add", "x"}).ExitCode, 2);
    EXPECT_EQ(
        Call({"--profile-add", "live", "--server", "https://live.example/api", "--production"})
            .ExitCode,
        0);
    run = Call({"--profiles"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Default\thttp://127.0.0.1:1/api\t-\tcurrent\n"
                       "live\thttps://live.example:443/api\t-\tproduction\n"
                       "test\t" +
                           url + "\t7.00\t-\n");

    // The profile's address and version: AccountsDecBalance2 needs 6.00, so 5.00 refuses it.
    run = Call({"--profile", "TEST", "SystemStats"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"Result\":\"Ok\"}");
    ASSERT_EQ(server->Requests().size(), 1U);
    EXPECT_NE(server->Requests()[0].find("Command=SystemStats"), std::string::npos);
    run = Call({"--profile", "test", "--server-version", "5.00", "--curl", "AccountsDecBalance2"});
    EXPECT_EQ(run.ExitCode, 2);
    run =
        Call({"--profile", "test", "--server", "http://other.example/x", "--curl", "SystemStats"});
    EXPECT_NE(run.Out.find("http://other.example/x"), std::string::npos) << run.Out;
    run = Call({"--profile", "tset", "SystemStats"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "vlcallbench-call: Unknown profile 'tset'. Did you mean 'test'? --profiles "
                       "lists them.\n");

    EXPECT_EQ(Call({"--profile-remove", "Default"}).ExitCode, 2); // the current one
    EXPECT_EQ(Call({"--profile-remove", "test"}).ExitCode, 0);
    EXPECT_EQ(Call({"--profiles"}).Out.find("test\t"), std::string::npos);
}

// On a production profile nothing but a read goes out without --yes when no one can be asked;
// the loopback server sees no connection at all.
TEST_F(CallToolTest, ProductionProfileRefusesWhatIsNotAReadWithoutYes) {
    const TScriptedServer server(TServerScript().ReadRequest().Send(
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nOK"));
    const std::string url = Narrow(server.URL(u"/api"));
    ASSERT_EQ(
        Call({"--profile-add", "live", "--server", url, "--production", "--server-version", "7.00"})
            .ExitCode,
        0);
    const struct {
        std::vector<std::string> Call;
        const char* Err;
    } refused[] = {
        {{"AccountsDelete", "Player=joe"},
         "AccountsDelete removes data on production profile 'live'; add --yes to send\n"},
        {{"AccountsEdit", "Player=joe", "Title=x"},
         "AccountsEdit changes data on production profile 'live'; add --yes to send\n"},
        {{"AccountsIncBalance", "Player=joe", "Amount=5"},
         "AccountsIncBalance moves money on production profile 'live'; add --yes to send\n"},
        {{"SystemReboot"},
         "SystemReboot removes data on production profile 'live'; add --yes to "
         "send\n"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> arguments{"--profile", "live", "--password-env",
                                           "XDG_CONFIG_HOME"};
        arguments.insert(arguments.end(), c.Call.begin(), c.Call.end());
        const TToolRun run = Call(arguments);
        EXPECT_EQ(run.ExitCode, 2) << c.Call[0];
        EXPECT_EQ(run.Err, std::string("vlcallbench-call: ") + c.Err);
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(server.ConnectionCount(), 0U);
    EXPECT_EQ(StoredCalls(FConfig.HistoryFolder()).size(), 0U);

    // --curl sends nothing, so it is not asked about; --yes sends.
    EXPECT_EQ(Call({"--profile", "live", "--curl", "AccountsDelete", "Player=joe"}).ExitCode, 0);
    EXPECT_EQ(server.ConnectionCount(), 0U);
    const TToolRun sent = Call({"--profile", "live", "--yes", "--password-env", "XDG_CONFIG_HOME",
                                "AccountsDelete", "Player=joe"});
    EXPECT_EQ(sent.ExitCode, 0) << sent.Err;
    // The before copy of a production profile goes out only now, before the call.
    ASSERT_EQ(server.Requests().size(), 2U);
    EXPECT_NE(server.Requests()[0].find("Command=AccountsGet"), std::string::npos);
    EXPECT_NE(server.Requests()[1].find("Command=AccountsDelete"), std::string::npos);
}

// On a terminal the tool asks: a change is sent on "y", a remove only on the profile's name typed
// exactly; anything else sends nothing at all.
TEST_F(CallToolTest, ProductionProfileAsksOnATerminal) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    ASSERT_EQ(Call({"--profile-add", "live", "--server", url, "--production"}).ExitCode, 0);
    const struct {
        const char* Command;
        const char* Typed;
        const char* Question;
        bool Sent;
    } cases[] = {
        {"AccountsEdit", "\n", "Send it? [y/N] ", false},
        {"AccountsEdit", "no\n", "Send it? [y/N] ", false},
        {"AccountsEdit", "y\n", "Send it? [y/N] ", true},
        {"AccountsDelete", "y\n", "Type the profile's name to send it: ", false},
        {"AccountsDelete", "Live\n", "Type the profile's name to send it: ", false},
        {"AccountsDelete", "live\n", "Type the profile's name to send it: ", true},
    };
    std::size_t sent = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Command) + " " + c.Typed);
        TToolProcess tool(CallTool,
                          {"--profile", "live", "--no-before-copy", "--password-env",
                           "XDG_CONFIG_HOME", c.Command, "Player=joe"},
                          Environment({}), {}, 0, true);
        ASSERT_TRUE(tool.WaitForErr(c.Question));
        EXPECT_EQ(server->Requests().size(), sent);
        tool.Type(c.Typed);
        const int exitCode = tool.Finish();
        if (c.Sent) {
            ++sent;
            EXPECT_EQ(exitCode, 0) << tool.Err;
            EXPECT_EQ(tool.Err.find("Not sent."), std::string::npos);
        } else {
            EXPECT_EQ(exitCode, 2);
            EXPECT_TRUE(tool.Err.ends_with("vlcallbench-call: Not sent.\n")) << tool.Err;
        }
        ASSERT_TRUE(server->WaitForScriptsDone(sent));
        EXPECT_EQ(server->Requests().size(), sent);
    }
}

// A read goes out on a production profile without asking; a test profile never asks.
TEST_F(CallToolTest, ReadsAndTestProfilesAreNotAsked) {
    const auto server = AnsweringServer();
    const std::string url = Narrow(server->URL(u"/api"));
    ASSERT_EQ(Call({"--profile-add", "live", "--server", url, "--production"}).ExitCode, 0);
    TToolRun run = Call({"--profile", "live", "AccountsGet", "Player=joe"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    const auto other = AnsweringServer();
    const std::string otherUrl = Narrow(other->URL(u"/api"));
    ASSERT_EQ(Call({"--profile-add", "test", "--server", otherUrl}).ExitCode, 0);
    run = Call({"--profile", "test", "AccountsDelete", "Player=joe"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    // --server without --profile goes elsewhere than the current profile: nothing to guard.
    EXPECT_EQ(Call({"--production", "SystemStats"}).ExitCode, 2);
}

// A change on a production profile first sends the read that shows what it alters, with the same
// key, and keeps that answer as an entry the change's entry names; only the change's answer is
// written out. --no-before-copy leaves it out, --before-copy asks for it on any profile.
TEST_F(CallToolTest, BeforeCopyIsReadFirstAndKeptWithTheCall) {
    const auto server = AnsweringServer("{\"Player\":\"joe\",\"Balance\":5}");
    const std::string url = Narrow(server->URL(u"/api"));
    ASSERT_EQ(Call({"--profile-add", "live", "--server", url, "--production"}).ExitCode, 0);
    ASSERT_EQ(Call({"--profile-add", "test", "--server", url}).ExitCode, 0);

    TToolRun run = Call({"--profile", "live", "--yes", "--password-env", "XDG_CONFIG_HOME",
                         "AccountsDelete", "Player=joe"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "{\"Player\":\"joe\",\"Balance\":5}");
    ASSERT_EQ(server->Requests().size(), 2U);
    EXPECT_NE(BodyOf(server->Requests()[0]).find("Command=AccountsGet"), std::string::npos);
    EXPECT_NE(BodyOf(server->Requests()[0]).find("Player=joe"), std::string::npos);
    EXPECT_NE(BodyOf(server->Requests()[1]).find("Command=AccountsDelete"), std::string::npos);
    std::vector<THistoryCall> calls = StoredCalls(FConfig.HistoryFolder());
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].Command, QStringLiteral("AccountsDelete"));
    EXPECT_EQ(calls[0].Profile, QStringLiteral("live"));
    EXPECT_EQ(calls[0].BeforeCopyId, calls[1].Id);
    EXPECT_EQ(calls[1].Command, QStringLiteral("AccountsGet"));
    EXPECT_EQ(calls[1].Answer, QStringLiteral("{\"Player\":\"joe\",\"Balance\":5}"));
    EXPECT_EQ(calls[1].Profile, QStringLiteral("live"));
    EXPECT_TRUE(calls[1].Fields.contains(QStringLiteral("Player=joe")));

    const struct {
        std::vector<std::string> Options;
        std::size_t Requests; // the server's count after the call
    } cases[] = {
        {{"--profile", "live", "--yes", "--no-before-copy"}, 3},
        {{"--profile", "test"}, 4},
        {{"--profile", "test", "--before-copy"}, 6},
        // a read has no before copy
        {{"--profile", "live", "--before-copy"}, 7},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.Options;
        arguments.insert(arguments.end(), {"--password-env", "XDG_CONFIG_HOME"});
        arguments.push_back(c.Requests == 7 ? "AccountsGet" : "AccountsEdit");
        arguments.push_back("Player=joe");
        run = Call(arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(server->Requests().size(), c.Requests) << c.Options.back();
    }
    EXPECT_NE(BodyOf(server->Requests()[4]).find("Command=AccountsGet"), std::string::npos);
    EXPECT_EQ(Call({"--before-copy=yes", "SystemStats"}).ExitCode, 2);
}

// A command that reads as well as changes is its own before copy: the same command with
// Action=Get and the change's key, nothing else of it, first; a call of it that reads takes none.
TEST_F(CallToolTest, CommandThatAlsoReadsIsItsOwnBeforeCopy) {
    const auto server = AnsweringServer("{\"Balance\":100}");
    const std::string url = Narrow(server->URL(u"/api"));
    const struct {
        std::vector<std::string> Call;
        const char* Read; // the end of the read's body, or "" for none
        const char* Change;
    } cases[] = {
        {{"SystemAccount", "Account=Rake", "Action=Dec", "Amount=5"},
         "&Account=Rake&Action=Get",
         "&Account=Rake&Action=Dec&Amount=5"},
        {{"SystemAccount2", "Action=Get", "Account=Ring2"}, "", "&Account=Ring2&Action=Get"},
        {{"AccountsNotes", "Player=joe", "Action=Set", "Data={}"},
         "&Player=joe&Action=Get",
         "&Player=joe&Action=Set&Data=%7B%7D"},
        {{"AccountsNotes", "Player=joe", "Action=get"}, "", "&Player=joe&Action=get"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Call[0] + " " + c.Call[2]);
        const std::size_t before = server->Requests().size();
        std::vector<std::string> arguments{"--server", url, "--before-copy"};
        arguments.insert(arguments.end(), c.Call.begin(), c.Call.end());
        const TToolRun run = Call(arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        const std::vector<std::string> requests = server->Requests();
        ASSERT_EQ(requests.size(), before + (*c.Read != '\0' ? 2 : 1));
        if (*c.Read != '\0') {
            EXPECT_TRUE(BodyOf(requests[before]).starts_with("Command=" + c.Call[0] + "&"));
            EXPECT_TRUE(BodyOf(requests[before]).ends_with(c.Read)) << BodyOf(requests[before]);
        }
        EXPECT_TRUE(BodyOf(requests.back()).ends_with(c.Change)) << BodyOf(requests.back());
    }
}

// A before copy that fails does not hold the call back: the call is sent, the warning said, and
// the history keeps the read as failed next to the call.
TEST_F(CallToolTest, FailedBeforeCopyDoesNotBlockTheCall) {
    const std::string ok =
        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nOK";
    const TScriptedServer server(
        {TServerScript().ReadRequest().Reset(), TServerScript().ReadRequest().Send(ok)});
    const std::string url = Narrow(server.URL(u"/api"));
    ASSERT_EQ(Call({"--profile-add", "live", "--server", url, "--production"}).ExitCode, 0);
    const TToolRun run = Call({"--profile", "live", "--yes", "--password-env", "XDG_CONFIG_HOME",
                               "RingGamesDelete", "Name=Table 1"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "OK");
    EXPECT_NE(run.Err.find(CallMessage("warning: the before copy RingGamesGet failed; "
                                       "RingGamesDelete is sent all the same.")),
              std::string::npos)
        << run.Err;
    ASSERT_EQ(server.Requests().size(), 2U);
    EXPECT_NE(BodyOf(server.Requests()[0]).find("Command=RingGamesGet"), std::string::npos);
    EXPECT_NE(BodyOf(server.Requests()[0]).find("Name=Table+1"), std::string::npos);
    EXPECT_NE(BodyOf(server.Requests()[1]).find("Command=RingGamesDelete"), std::string::npos);
    const std::vector<THistoryCall> calls = StoredCalls(FConfig.HistoryFolder());
    ASSERT_EQ(calls.size(), 2U);
    EXPECT_EQ(calls[0].Outcome, THistoryOutcome::Answer);
    EXPECT_EQ(calls[0].BeforeCopyId, calls[1].Id);
    EXPECT_EQ(calls[1].Outcome, THistoryOutcome::Error);
    EXPECT_FALSE(calls[1].ErrorText.isEmpty());
}

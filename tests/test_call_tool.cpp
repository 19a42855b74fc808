// vlcallbench-call and vlcallbench-post run as processes against loopback servers: the bodies
// command lines compose, the checks made before sending, defaults from the window's settings, the
// curl line, and answers written as they arrive.

#include "Catalogue.h"
#include "CatalogueText.h"
#include "ScriptedServer.h"
#include "SettingsStore.h"
#include "TempFolder.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

const std::string CallTool = VL_CALL_TOOL;
const std::string PostTool = VL_POST_TOOL;

std::string Narrow(const std::u16string& AText) {
    return std::string(AText.begin(), AText.end());
}

std::string BodyOf(const std::string& ARequest) {
    const std::size_t end = ARequest.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : ARequest.substr(end + 4);
}

// A private configuration folder, so no run reads the settings of the user running the tests.
class TConfigFolder {
public:
    TConfigFolder() : FFolder("vlcall-"), FPath(FFolder.Path().string()) {}
    std::string Environment() const { return "XDG_CONFIG_HOME=" + FPath; }
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

class CallToolTest : public ::testing::Test {
protected:
    TToolRun Call(std::vector<std::string> AArguments, std::vector<std::string> AEnvironment = {}) {
        AEnvironment.push_back(Config.Environment());
        return RunTool(CallTool, AArguments, AEnvironment);
    }

    TConfigFolder Config;
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
        EXPECT_EQ(run.Out, "B\xC3\xB6rse\n"); // the shell's prompt starts on a line of its own
        ASSERT_TRUE(server->WaitForScriptsDone(++requests));
        EXPECT_EQ(BodyOf(server->Requests().back()), c.Body);
    }
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
    Config.Save(settings);

    TToolRun run = Call({"SystemStats"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_TRUE(server->WaitForScriptsDone(1));
    EXPECT_TRUE(server->Requests().back().starts_with("POST /api HTTP/1.0\r\n"));
    EXPECT_EQ(BodyOf(server->Requests().back()), "Command=SystemStats&Password=stored&JSON=Yes");

    // The stored version 4.00 lacks Players (4.40+); the command line's version or --force wins.
    run = Call({"AccountsList", "Players=x"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err,
              "Parameter 'Players' of AccountsList is not in server version 4.00; versions "
              "4.40+ have it. --force sends it anyway.\n");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--force", "AccountsList", "Players=x"},
          std::vector<std::string>{"--server-version", "4.40", "AccountsList", "Players=x"}}) {
        run = Call(arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
    }
    ASSERT_TRUE(server->WaitForScriptsDone(3));

    // A password file's first line, without its line break.
    std::FILE* file = std::fopen(Config.File("pw").c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("from file\r\nsecond line\n", file);
    std::fclose(file);
    run = Call({"--password-file", Config.File("pw"), "SystemStats"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_TRUE(server->WaitForScriptsDone(4));
    EXPECT_EQ(BodyOf(server->Requests().back()), "Command=SystemStats&Password=from+file&JSON=Yes");

    settings.IP.clear();
    Config.Save(settings);
    run = Call({"SystemStats"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Err, "Server IP/domain missing in the window's settings; give --server URL.\n");
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
        EXPECT_EQ(run.Err, c.Err);
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(server->ConnectionCount(), 0u);

    const TToolRun version = Call({"--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out, "vlcallbench-call 1.26\n");
    const TToolRun help = Call({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(help.Out.starts_with("Usage: vlcallbench-call [OPTIONS] COMMAND [NAME=VALUE ...]"));
    EXPECT_EQ(Call({}).ExitCode, 2);
}

TEST_F(CallToolTest, FailuresExitOneWithTheirMessage) {
    const auto refused = AnsweringServer("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone");
    TToolRun run = Call({"--server", Narrow(refused->URL(u"/api")), "SystemStats"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "HTTP/1.1 404 Not Found\n");

    // The server says nothing until the tool gives up.
    TScriptedServer silent(TServerScript().ReadRequest().Hold());
    run = Call({"--server", Narrow(silent.URL(u"/api")), "--timeout", "1", "SystemStats"});
    silent.Release();
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Err, "Timed out after 1 s.\n");
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
        std::vector<std::string> arguments{"--curl"};
        if (show)
            arguments.push_back("--show-password");
        arguments.insert(arguments.end(), call.begin(), call.end());
        const TToolRun line = Call(arguments, environment);
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
// still holds back the rest, and a failure after it still exits 1 with its message.
TEST_F(CallToolTest, AnswersAreWrittenAsTheyArrive) {
    for (const std::string& tool : {CallTool, PostTool}) {
        TScriptedServer server(
            TServerScript()
                .ReadRequest()
                .Send("HTTP/1.1 200 OK\r\nContent-Type: text/plain; "
                      "charset=utf-8\r\nContent-Length: 100\r\n\r\nfirst \xE2\x82")
                .Hold()
                .Send("\xAC part"));
        const std::string url = Narrow(server.URL(u"/api"));
        const std::vector<std::string> arguments =
            tool == CallTool ? std::vector<std::string>{"--server", url, "SystemStats"}
                             : std::vector<std::string>{url, "Command=SystemStats"};
        TToolProcess process(tool, arguments, {Config.Environment()});
        // The character cut in two waits for its last byte.
        EXPECT_TRUE(process.WaitForOut(6)) << tool;
        EXPECT_EQ(process.Out, "first ");
        server.Release();
        EXPECT_EQ(process.Finish(), 1);
        EXPECT_EQ(process.Out, "first \xE2\x82\xAC part");
        EXPECT_EQ(process.Err.substr(0, process.Err.find_last_not_of('\n') + 1),
                  "Connection Closed Gracefully.");
    }
}

TEST_F(CallToolTest, ListAndDescribe) {
    TToolRun run = Call({"--list", "accounts"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_NE(run.Out.find("\nAccountsList\t2.10+\tRetrieve specified settings from multiple "
                           "players.\n"),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find("Blacklist"), std::string::npos); // one group only

    run = Call({"--describe", "accountslist"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.starts_with("AccountsList (versions 2.10+)\n")) << run.Out;
    EXPECT_NE(run.Out.find("\nPlayers\t4.40+\t"), std::string::npos);

    // --json: the catalogue export's own text for that part.
    const TToolRun whole = RunTool(VL_CATALOGUE_TOOL, {});
    for (const char* name : {"AccountsList", "Accounts"}) {
        run = Call({std::string(name) == "Accounts" ? "--list" : "--describe", name, "--json"});
        EXPECT_EQ(run.ExitCode, 0);
        ASSERT_TRUE(run.Out.starts_with("[\n  {\"header\": ")) << run.Out;
        const std::string first = run.Out.substr(2, run.Out.find('\n', 2) - 2);
        EXPECT_NE(whole.Out.find(first), std::string::npos);
        EXPECT_TRUE(run.Out.ends_with("]}\n]\n"));
    }
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

// vlcallbench-call's answer as data, run as a process against a loopback server: --jq prints byte
// for byte what the jq program prints for the same answer, --table and --csv print the answer's
// table, and their failures exit 1 with the reason.

#include "ScriptedServer.h"
#include "TempFolder.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string CallTool = VL_CALL_TOOL;

std::string Narrow(const std::u16string& AText) {
    return std::string(AText.begin(), AText.end());
}

// A private configuration and data folder and no session bus, so that no run reads the user's
// settings or keyring or writes into their history.
class CallAnswerDataTest : public ::testing::Test {
protected:
    CallAnswerDataTest() : FFolder("vlcalldata-") {}

    // The tool's run for a server that answers AAnswer as JSON.
    TToolRun Call(const std::string& AAnswer, const std::vector<std::string>& AOptions) {
        TScriptedServer server(TServerScript().ReadRequest().Send(
            "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\n"
            "Content-Length: " +
            std::to_string(AAnswer.size()) + "\r\n\r\n" + AAnswer));
        std::vector<std::string> arguments{"--server", Narrow(server.URL(u"/api")),
                                           "--password-env", "VL_TEST_PW"};
        arguments.insert(arguments.end(), AOptions.begin(), AOptions.end());
        arguments.emplace_back("AccountsList");
        const std::string folder = FFolder.Path().string();
        return RunTool(CallTool, arguments,
                       {"XDG_CONFIG_HOME=" + folder, "XDG_DATA_HOME=" + folder + "/data",
                        "DBUS_SESSION_BUS_ADDRESS=", "VL_TEST_PW=pw"});
    }

    // What the jq program prints for AAnswer with AArguments.
    TToolRun Jq(const std::string& AAnswer, std::vector<std::string> AArguments) {
        const std::string file = FFolder.Path().string() + "/answer.json";
        std::ofstream(file, std::ios::binary) << AAnswer;
        AArguments.push_back(file);
        return RunTool(VL_JQ_PROGRAM, AArguments);
    }

    TTempFolder FFolder;
};

const std::string Accounts =
    R"({"Result":"Ok","Accounts":[{"Player":"ann","Balance":12.50,"Email":"a@x.test"},)"
    R"({"Player":"b\u00e9a, \"B\"","Balance":123456789012345678901234567890},)"
    R"({"Player":"cy","Balance":-3,"Tags":["x",{"y":null}]}]})";

} // namespace

TEST_F(CallAnswerDataTest, JqOutputIsTheJqPrograms) {
    const std::vector<std::vector<std::string>> programs{
        {"."},
        {"-c", "."},
        {".Accounts[] | select(.Balance > 1) | .Player"},
        {"-c", ".Accounts | map({Player, Balance})"},
        {".Accounts[1].Balance, .Result"},
    };
    for (const auto& jqArguments : programs) {
        std::vector<std::string> options;
        for (const std::string& argument : jqArguments)
            if (argument == "-c")
                options.emplace_back("--compact");
            else
                options.insert(options.end(), {"--jq", argument});
        const TToolRun ours = Call(Accounts, options);
        const TToolRun theirs = Jq(Accounts, jqArguments);
        SCOPED_TRACE(jqArguments.back());
        EXPECT_EQ(ours.ExitCode, 0) << ours.Err;
        EXPECT_EQ(ours.Out, theirs.Out);
        EXPECT_FALSE(ours.Out.empty());
    }
}

TEST_F(CallAnswerDataTest, TablesAndCsvFromTheAnswerOrTheFilter) {
    TToolRun run = Call(Accounts, {"--csv"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Player,Balance,Email,Tags\r\n"
                       "ann,12.50,a@x.test,\r\n"
                       "\"b\xC3\xA9"
                       "a, \"\"B\"\"\",123456789012345678901234567890,,\r\n"
                       "cy,-3,,\"[\"\"x\"\",{\"\"y\"\":null}]\"\r\n");
    // Piped, a table is tab-separated.
    run = Call(Accounts, {"--table"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Player\tBalance\tEmail\tTags\n"
                       "ann\t12.50\ta@x.test\t\n"
                       "b\xC3\xA9"
                       "a, \"B\"\t123456789012345678901234567890\t\t\n"
                       "cy\t-3\t\t[\"x\",{\"y\":null}]\n");
    // Several results of a filter are the rows of one table.
    run = Call(Accounts, {"--jq", ".Accounts[] | {Player}", "--csv"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Player\r\nann\r\n\"b\xC3\xA9"
                       "a, \"\"B\"\"\"\r\ncy\r\n");
    // One result that holds no table is a table of one row, as several such results are.
    run = Call(Accounts, {"--jq", ".Accounts[] | select(.Player == \"cy\") | {Player}", "--csv"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(run.Out, "Player\r\ncy\r\n");
}

TEST_F(CallAnswerDataTest, FailuresAndUsage) {
    struct TCase {
        std::string Answer;
        std::vector<std::string> Options;
        int ExitCode;
        std::string ErrStart;
    };
    const TCase cases[] = {
        {Accounts, {"--table", "--csv"}, 2, "Options --table and --csv exclude each other."},
        {Accounts, {"--compact"}, 2, "Option --compact goes with --jq."},
        {Accounts, {"--jq=.Accounts["}, 2, "jq: error: syntax error"},
        {Accounts, {"--jq", ".Accounts[] | .Player / 0"}, 1, "jq: error: "},
        {R"({"a":1})", {"--table"}, 1, "The answer holds no array of objects"},
        {"Not JSON", {"--csv"}, 1, "The answer is not JSON: "},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Options.back());
        const TToolRun run = Call(test.Answer, test.Options);
        EXPECT_EQ(run.ExitCode, test.ExitCode);
        EXPECT_TRUE(run.Err.starts_with("vlcallbench-call: " + test.ErrStart)) << run.Err;
    }
}

// The command lines of the three programs: help, version and wrong use, without a display, and
// the post tool's output through a pipe.

#include "ScriptedServer.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Nothing a display could be reached by: help and version must not need one.
const std::vector<std::string> NoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

struct TProgram {
    std::string Name, Path;
};

const TProgram Programs[] = {
    {"vlcallbench", VL_MAIN_PROGRAM},
    {"vlcallbench-post", VL_POST_TOOL},
    {"vlcallbench-call", VL_CALL_TOOL},
    {"vlcallbench-catalogue", VL_CATALOGUE_TOOL},
};

} // namespace

TEST(CommandLine, HelpAndVersionWithoutDisplay) {
    for (const TProgram& program : Programs) {
        SCOPED_TRACE(program.Name);
        for (const std::string help : {"--help", "-h"}) {
            const TProgramRun run = RunProgram(program.Path, {help}, NoDisplay);
            EXPECT_EQ(run.ExitCode, 0);
            EXPECT_TRUE(run.Out.starts_with("usage: " + program.Name + " ")) << run.Out;
            EXPECT_TRUE(run.Out.ends_with("\n"));
            EXPECT_NE(run.Out.find("--version"), std::string::npos);
            EXPECT_EQ(run.Err, "");
        }
        const TProgramRun version = RunProgram(program.Path, {"--version"}, NoDisplay);
        EXPECT_EQ(version.ExitCode, 0);
        EXPECT_EQ(version.Out, program.Name + " 1.26\n");
        EXPECT_EQ(version.Err, "");
    }
}

TEST(CommandLine, WrongUsePrintsUsageOnStandardError) {
    struct Case {
        std::string Path;
        std::vector<std::string> Args;
        std::string Complaint;
    };
    const Case Cases[] = {
        {VL_POST_TOOL, {}, "vlcallbench-post: no URL given\n"},
        {VL_POST_TOOL, {"--bogus", "http://127.0.0.1/"}, "unknown option '--bogus'\n"},
        {VL_POST_TOOL, {"--help=yes"}, "option '--help' takes no value\n"},
        {VL_POST_TOOL, {"--", "--help"}, ""}, // "--help" is the URL here: a failure, not help
        {VL_CATALOGUE_TOOL, {"--json"}, "unknown argument '--json'\n"},
        // The window's program gets Qt's own options; what remains is not its own.
        {VL_MAIN_PROGRAM, {"-platform", "offscreen", "--bogus"}, "unknown argument '--bogus'\n"},
    };
    for (const Case& test : Cases) {
        SCOPED_TRACE(test.Path + " " + (test.Args.empty() ? "" : test.Args.front()));
        const TProgramRun run = RunProgram(test.Path, test.Args, NoDisplay);
        EXPECT_EQ(run.Out, "");
        EXPECT_TRUE(run.Err.ends_with("\n"));
        if (test.Complaint.empty()) {
            EXPECT_EQ(run.ExitCode, 1);
            EXPECT_EQ(run.Err, "vlcallbench-post: Unknown Protocol\n");
            continue;
        }
        EXPECT_EQ(run.ExitCode, 2);
        EXPECT_NE(run.Err.find(test.Complaint), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find("\nusage: "), std::string::npos) << run.Err;
    }
}

TEST(CommandLine, PostAnswerKeepsItsBytesAndLinesMayStartWithDash) {
    std::vector<TServerScript> Scripts;
    for (const std::string Body : {"no line break", "crlf\r\n", ""})
        Scripts.push_back(TServerScript().ReadRequest().Send(
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(Body.size()) + "\r\n\r\n" +
            Body));
    TScriptedServer Server(std::move(Scripts));
    const std::u16string URL16 = Server.URL(u"/api");
    const std::string URL(URL16.begin(), URL16.end());

    // A pipe gets the answer's exact bytes: no line break is added.
    EXPECT_EQ(RunProgram(VL_POST_TOOL, {"--", URL, "-x=1"}).Out, "no line break");
    ASSERT_TRUE(Server.WaitForScriptsDone(1));
    EXPECT_TRUE(Server.Requests().at(0).ends_with("\r\n\r\n-x=1"));
    EXPECT_EQ(RunProgram(VL_POST_TOOL, {URL}).Out, "crlf\r\n");
    const TProgramRun Empty = RunProgram(VL_POST_TOOL, {URL});
    EXPECT_EQ(Empty.ExitCode, 0);
    EXPECT_EQ(Empty.Out, "");
}

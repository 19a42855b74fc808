// What comes with the command-line tools besides the programs: the bash completion, run in a real
// bash the way bash runs it for a command line, and the man pages, held against each tool's --help.

#include "TempFolder.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string CallCompletion = VL_CALL_COMPLETION;
const fs::path DataDir = VL_DATA_DIR;

std::string Bash() {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder) / "bash";
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return {};
}

std::vector<std::string> Lines(const std::string& AText) {
    std::vector<std::string> lines;
    std::stringstream in(AText);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The options a tool's --help lists, long and short ("-h").
std::set<std::string> HelpOptions(const std::string& ATool) {
    const TToolRun help = RunTool(ATool, {"--help"});
    EXPECT_EQ(help.ExitCode, 0) << ATool << help.Err;
    std::set<std::string> options;
    // Indented lines that begin with an option, or with its short form and then the option.
    for (std::string line : Lines(help.Out)) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == 0 || start == std::string::npos || line[start] != '-')
            continue;
        line.erase(0, start);
        if (line.size() > 4 && line[1] != '-' && line.compare(2, 2, ", ") == 0) {
            options.insert(line.substr(0, 2));
            line.erase(0, line.find_first_not_of(' ', 3));
        }
        const std::size_t end = line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-", 2);
        if (line.starts_with("--") && line.size() > 2 && end != 2)
            options.insert(line.substr(0, end));
    }
    EXPECT_GT(options.size(), 1u) << help.Out;
    return options;
}

class CallCompletionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(FBashPath.empty()) << "bash is not on the PATH"; }

    // Calls the completion function as bash does for a command line split into AWords, the last
    // of them the word being completed; the words it offers. AFunction is given the command as
    // bash gives it: ATool.
    std::vector<std::string> Complete(const std::vector<std::string>& AWords,
                                      const std::string& AScript = CallCompletion,
                                      const std::string& AFunction = "_vlcallbench_call",
                                      const std::string& ATool = "vlcallbench-call") const {
        const std::string script =
            "source \"$1\" || exit 3; function=$2 tool=$3; shift 3; COMP_WORDS=(\"$@\");"
            "COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE};"
            "$function \"$tool\" \"${COMP_WORDS[COMP_CWORD]}\"; printf '%s\\n' \"${COMPREPLY[@]}\"";
        std::vector<std::string> arguments{"-c", script, "bash", AScript, AFunction, ATool};
        arguments.insert(arguments.end(), AWords.begin(), AWords.end());
        const TToolRun run = RunTool(FBashPath, arguments);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        std::vector<std::string> words = Lines(run.Out);
        std::erase(words, "");
        std::sort(words.begin(), words.end());
        return words;
    }

    std::string FBashPath = Bash();
};

TEST_F(CallCompletionTest, ScriptsAreValidBashAndRegisterTheirFunctions) {
    for (const std::string& file :
         {CallCompletion, (DataDir / "completion/vlcallbench-post").string(),
          (DataDir / "completion/vlcallbench-catalogue").string()}) {
        const TToolRun check = RunTool(FBashPath, {"-n", file});
        EXPECT_EQ(check.ExitCode, 0) << file << ":\n" << check.Err;
    }
    const TToolRun registered = RunTool(
        FBashPath, {"-c", "source \"$1\" && complete -p vlcallbench-call", "bash", CallCompletion});
    EXPECT_EQ(registered.Out, "complete -F _vlcallbench_call vlcallbench-call\n") << registered.Err;
}

TEST_F(CallCompletionTest, CompletesCommandsParametersAndOptionValues) {
    using Words = std::vector<std::string>;
    struct Case {
        Words Line;
        Words Offered;
    } cases[] = {
        // Commands, matched ignoring case and offered as the catalogue spells them.
        {{"vlcallbench-call", "TournamentsSta"}, {"TournamentsStart", "TournamentsStats"}},
        {{"vlcallbench-call", "accountsli"}, {"AccountsList"}},
        // After options and their values.
        {{"vlcallbench-call", "--server", "http://h/api", "--legacy", "accountsli"},
         {"AccountsList"}},
        {{"vlcallbench-call", "--server", "=", "http://h/api", "accountsli"}, {"AccountsList"}},
        // Bash breaks words at ":" as well.
        {{"vlcallbench-call", "--server", "http", ":", "//h:8087/api", "accountsli"},
         {"AccountsList"}},
        {{"vlcallbench-call", "--server", "http", ":", ""}, {}},
        {{"vlcallbench-call", "--server", "http", ":"}, {}},
        // Parameters of the command as NAME=; Command, Password and JSON never; a given one not
        // again.
        {{"vlcallbench-call", "AccountsList", "pl"}, {"Players="}},
        {{"vlcallbench-call", "accountslist", "Players=a", ""}, {"Fields=", "Log="}},
        {{"vlcallbench-call", "AccountsList", "players", "=", "a", "--force", ""},
         {"Fields=", "Log="}},
        {{"vlcallbench-call", "AccountsList", "Pass"}, {}},
        // A parameter's value and an unknown command: nothing to offer.
        {{"vlcallbench-call", "AccountsList", "Players", "=", ""}, {}},
        {{"vlcallbench-call", "AccountsList", "Players=x"}, {}},
        {{"vlcallbench-call", "NoSuchCommand", ""}, {}},
        // Options anywhere, and the values of those that take one.
        {{"vlcallbench-call", "--server-v"}, {"--server-version"}},
        {{"vlcallbench-call", "AccountsList", "--ti"}, {"--timeout"}},
        {{"vlcallbench-call", "--list", "ring"}, {"Ring\\ Games"}},
        {{"vlcallbench-call", "--list", "=", "Acc"}, {"Accounts"}},
        {{"vlcallbench-call", "--list=Acc"}, {"--list=Accounts"}},
        {{"vlcallbench-call", "--describe", "accountsli"}, {"AccountsList"}},
        {{"vlcallbench-call", "--describe", "AccountsList", ""}, {}},
        {{"vlcallbench-call", "--timeout", ""}, {}},
        {{"vlcallbench-call", "--password-env", "VL_COMPLETION_TEST_VA"},
         {"VL_COMPLETION_TEST_VARIABLE"}},
        // After "--" every word is the command or a parameter.
        {{"vlcallbench-call", "--", "AccountsList", "--"}, {}},
    };
    setenv("VL_COMPLETION_TEST_VARIABLE", "1", 1);
    for (const Case& c : cases) {
        Words expected = c.Offered;
        std::sort(expected.begin(), expected.end());
        std::string line;
        for (const std::string& word : c.Line)
            line += "[" + word + "]";
        EXPECT_EQ(Complete(c.Line), expected) << line;
    }
    unsetenv("VL_COMPLETION_TEST_VARIABLE");
}

TEST_F(CallCompletionTest, OffersEveryOptionTheToolLists) {
    const std::set<std::string> listed = HelpOptions(VL_CALL_TOOL);
    EXPECT_TRUE(listed.contains("-h"));
    const std::vector<std::string> offered = Complete({"vlcallbench-call", "-"});
    EXPECT_EQ(std::set<std::string>(offered.begin(), offered.end()), listed);
    // A file for a file's option.
    const std::vector<std::string> files = Complete(
        {"vlcallbench-call", "--password-file", (DataDir / "man/vlcallbench-ca").string()});
    EXPECT_EQ(files,
              (std::vector<std::string>{(DataDir / "man/vlcallbench-call.1").string(),
                                        (DataDir / "man/vlcallbench-catalogue.1").string()}));
}

// The post and catalogue tools' completion: every option their --help lists, short ones too,
// and what follows an option that takes a value.
TEST_F(CallCompletionTest, PostAndCatalogueOfferTheirOptions) {
    struct Tool {
        std::string Path, Name;
    } tools[] = {{VL_POST_TOOL, "post"}, {VL_CATALOGUE_TOOL, "catalogue"}};
    for (const Tool& tool : tools) {
        SCOPED_TRACE(tool.Name);
        const std::string script = (DataDir / "completion" / ("vlcallbench-" + tool.Name)).string();
        const std::string function = "_vlcallbench_" + tool.Name;
        const std::vector<std::string> offered =
            Complete({"vlcallbench-" + tool.Name, "-"}, script, function, tool.Path);
        const std::set<std::string> listed = HelpOptions(tool.Path);
        EXPECT_TRUE(listed.contains("-h"));
        EXPECT_EQ(std::set<std::string>(offered.begin(), offered.end()), listed);
    }
    using Words = std::vector<std::string>;
    const std::string post = (DataDir / "completion/vlcallbench-post").string();
    const auto complete = [&](const Words& AWords) {
        return Complete(AWords, post, "_vlcallbench_post", VL_POST_TOOL);
    };
    EXPECT_EQ(complete({"vlcallbench-post", "--ti"}), Words{"--timeout"});
    EXPECT_EQ(complete({"vlcallbench-post", "--timeout", ""}), Words{});
    EXPECT_EQ(complete({"vlcallbench-post", "--timeout", "-"}), Words{});
    EXPECT_EQ(complete({"vlcallbench-post", "--pin", ""}), Words{"sha256:"});
    EXPECT_EQ(complete({"vlcallbench-post", "--", "-"}), Words{});
}

// Options as a help text may list them, with the values the completion knows how to offer.
TEST_F(CallCompletionTest, ReadsTheOptionsFromTheToolsHelp) {
    TTempFolder folder;
    const std::string help = (folder.Path() / "help").string();
    const std::string script = (folder.Path() / "completion").string();
    std::ofstream(help) << "Usage: vlcallbench-call [OPTIONS] COMMAND\n"
                           "  -h, --help            show this text\n"
                           "      --cacert FILE     trust the certificates in FILE\n"
                           "      --pin sha256:HEX  trust exactly this certificate\n"
                           "  --list [GROUP]        list the commands\n"
                           "  --                    the end of the options\n";
    const TToolRun generate = RunTool(VL_COMPLETION_GENERATOR, {help, script});
    ASSERT_EQ(generate.ExitCode, 0) << generate.Err;
    using Words = std::vector<std::string>;
    EXPECT_EQ(Complete({"vlcallbench-call", "--"}, script),
              (Words{"--cacert", "--help", "--list", "--pin"}));
    EXPECT_EQ(Complete({"vlcallbench-call", "-"}, script),
              (Words{"--cacert", "--help", "--list", "--pin", "-h"}));
    EXPECT_EQ(Complete({"vlcallbench-call", "--pin", ""}, script), Words{"sha256:"});
    EXPECT_EQ(Complete({"vlcallbench-call", "--cacert", help.substr(0, help.size() - 2)}, script),
              Words{help});
    EXPECT_EQ(Complete({"vlcallbench-call", "--list", "bl"}, script), Words{"Blacklist"});
    // The value of --pin is skipped: the command follows.
    EXPECT_EQ(Complete({"vlcallbench-call", "--pin", "sha256:00", "accountsli"}, script),
              Words{"AccountsList"});
    EXPECT_EQ(Complete({"vlcallbench-call", "--pin", "sha256", ":", "00", "accountsli"}, script),
              Words{"AccountsList"});
}

TEST(ManPages, DescribeEveryOptionOfTheirTool) {
    struct Page {
        std::string Tool;
        std::string Name;
    } pages[] = {{VL_CALL_TOOL, "vlcallbench-call"},
                 {VL_POST_TOOL, "vlcallbench-post"},
                 {VL_CATALOGUE_TOOL, "vlcallbench-catalogue"}};
    for (const Page& page : pages) {
        std::ifstream file(DataDir / "man" / (page.Name + ".1"));
        ASSERT_TRUE(file) << page.Name;
        std::stringstream source;
        source << file.rdbuf();
        // The words of the lines of roff's bold markup (the options' tags), as a reader sees
        // them: escaped minus signs as plain ones.
        std::set<std::string> tagged;
        for (std::string line : Lines(source.str())) {
            if (!line.starts_with(".B ") && !line.starts_with(".BI ") && !line.starts_with(".BR "))
                continue;
            for (std::size_t escape; (escape = line.find("\\-")) != std::string::npos;)
                line.erase(escape, 1);
            std::stringstream words(line);
            for (std::string word; words >> word;)
                tagged.insert(word);
        }
        for (const std::string& option : HelpOptions(page.Tool))
            EXPECT_TRUE(tagged.contains(option)) << page.Name << " lacks " << option;
    }
}

} // namespace

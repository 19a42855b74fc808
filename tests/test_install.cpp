// Installing and packaging: the tree `cmake --install` makes, the desktop entry and metainfo as
// the desktop's own validators see them, and the Debian package's control data.

#include "TempFolder.h"
#include "ToolProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The program of that name on the PATH; empty when there is none.
std::string FindOnPath(const std::string& AName) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const fs::path candidate = fs::path(folder) / AName;
        if (!folder.empty() && access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return {};
}

// The lines of a validator's output that report something: desktop-file-validate writes
// "FILE: error: ...", "FILE: warning: ..." and "FILE: hint: ...", appstreamcli "E: ...",
// "W: ...", "I: ..." and "P: ..." (its remarks); a line of neither kind is no finding.
std::vector<std::string> Findings(const std::string& AOutput) {
    std::vector<std::string> findings;
    std::stringstream lines(AOutput);
    for (std::string line; std::getline(lines, line);) {
        bool finding = false;
        for (const char* kind : {": error: ", ": warning: ", ": hint: "})
            finding = finding || line.find(kind) != std::string::npos;
        for (const char* kind : {"E: ", "W: ", "I: ", "P: "})
            finding = finding || line.starts_with(kind);
        if (finding)
            findings.push_back(line);
    }
    return findings;
}

const std::vector<std::string> Programs = {"vlcallbench", "vlcallbench-post",
                                           "vlcallbench-catalogue", "vlcallbench-call"};

// Every file an installation holds, relative to its prefix.
std::set<std::string> ExpectedFiles() {
    std::set<std::string> files = {
        "share/applications/vlcallbench.desktop",
        "share/metainfo/com.tessarine.vlcallbench.metainfo.xml",
        "share/icons/hicolor/scalable/apps/vlcallbench.svg",
        "share/bash-completion/completions/vlcallbench-post",
        "share/bash-completion/completions/vlcallbench-catalogue",
        "share/bash-completion/completions/vlcallbench-call",
    };
    for (const std::string& program : Programs) {
        files.insert("bin/" + program);
        files.insert("share/man/man1/" + program + ".1.gz");
    }
    for (const char* size : {"16", "24", "32", "48", "64", "128", "256"})
        files.insert("share/icons/hicolor/" + std::string(size) + "x" + size +
                     "/apps/vlcallbench.png");
    return files;
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Prefix = std::make_unique<TTempFolder>();
        ASSERT_FALSE(Prefix->Path().empty());
        Install =
            RunProgram(VL_CMAKE, {"--install", VL_BINARY_DIR, "--prefix", Prefix->Path().string()});
    }
    static void TearDownTestSuite() { Prefix.reset(); }

    static inline std::unique_ptr<TTempFolder> Prefix;
    static inline TProgramRun Install;
};

TEST_F(InstallTest, TreeHoldsProgramsDesktopEntryIconsManPagesAndCompletion) {
    ASSERT_EQ(Install.ExitCode, 0) << Install.Err;
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Prefix->Path()))
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), Prefix->Path()).string());
    EXPECT_EQ(files, ExpectedFiles());
    for (const std::string& program : Programs) {
        const fs::path file = Prefix->Path() / "bin" / program;
        EXPECT_EQ(access(file.c_str(), X_OK), 0) << program;
        // The installed program runs from its new place.
        const TProgramRun version = RunProgram(file.string(), {"--version"});
        EXPECT_EQ(version.Out, program + " 1.26\n");
    }
    std::ifstream png(Prefix->Path() / "share/icons/hicolor/48x48/apps/vlcallbench.png",
                      std::ios::binary);
    std::string magic(8, '\0');
    png.read(magic.data(), 8);
    EXPECT_EQ(magic, "\x89PNG\r\n\x1a\n");
}

TEST_F(InstallTest, DesktopEntryAndMetainfoPassTheValidators) {
    ASSERT_EQ(Install.ExitCode, 0) << Install.Err;
    struct Check {
        std::string Validator;
        std::vector<std::string> Args;
    };
    const Check checks[] = {
        {"desktop-file-validate",
         {(Prefix->Path() / "share/applications/vlcallbench.desktop").string()}},
        {"appstreamcli",
         {"validate", "--no-net",
          (Prefix->Path() / "share/metainfo/com.tessarine.vlcallbench.metainfo.xml").string()}},
    };
    for (const Check& check : checks) {
        const std::string validator = FindOnPath(check.Validator);
        if (validator.empty()) {
            ADD_FAILURE() << check.Validator << " is not installed (scripts/install-deps.sh test)";
            continue;
        }
        const TProgramRun run = RunProgram(validator, check.Args);
        EXPECT_EQ(run.ExitCode, 0) << check.Validator << ":\n" << run.Out << run.Err;
        // Not only no error: no warning, no hint and no remark either, such as a second main
        // category that shows the entry twice in a menu.
        EXPECT_TRUE(Findings(run.Out + run.Err).empty()) << check.Validator << ":\n"
                                                         << run.Out << run.Err;
    }
}

TEST(Package, DebianControlDataAndContents) {
    const std::string dpkgDeb = FindOnPath("dpkg-deb");
    ASSERT_FALSE(dpkgDeb.empty()) << "dpkg-deb is not installed";
    TTempFolder output;
    const std::string config = std::string(VL_BINARY_DIR) + "/CPackConfig.cmake";
    const TProgramRun cpack =
        RunProgram(VL_CPACK, {"-G", "DEB", "--config", config, "-B", output.Path().string()});
    ASSERT_EQ(cpack.ExitCode, 0) << cpack.Out << cpack.Err;
    fs::path deb;
    for (const auto& entry : fs::directory_iterator(output.Path()))
        if (entry.path().extension() == ".deb")
            deb = entry.path();
    ASSERT_FALSE(deb.empty()) << cpack.Out;

    const TProgramRun control =
        RunProgram(dpkgDeb, {"--field", deb.string(), "Package", "Version", "Section", "Depends"});
    ASSERT_EQ(control.ExitCode, 0) << control.Err;
    EXPECT_NE(control.Out.find("Package: vlcallbench\n"), std::string::npos) << control.Out;
    EXPECT_NE(control.Out.find("Version: 1.26\n"), std::string::npos) << control.Out;
    EXPECT_NE(control.Out.find("Section: net\n"), std::string::npos) << control.Out;
    // Worked out from the programs' shared libraries, plus OpenSSL for run time.
    const std::string depends = control.Out.substr(control.Out.find("Depends:"));
    for (const char* library : {"libssl3", "libc6", "libqt6widgets6", "libicu"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;

    const TProgramRun contents = RunProgram(dpkgDeb, {"--contents", deb.string()});
    ASSERT_EQ(contents.ExitCode, 0) << contents.Err;
    for (const std::string& file : ExpectedFiles())
        EXPECT_NE(contents.Out.find(" ./usr/" + file + "\n"), std::string::npos) << file;
}

} // namespace

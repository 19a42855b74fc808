#include "TlsLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh folder under the system's temporary folder, removed with the object.
class TTempFolder {
public:
    TTempFolder() {
        std::string Pattern = (fs::temp_directory_path() / "vltls-XXXXXX").string();
        if (mkdtemp(Pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        FPath = Pattern;
    }
    ~TTempFolder() {
        std::error_code Ignored;
        fs::remove_all(FPath, Ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const fs::path& Path() const { return FPath; }
    // The folder as TlsLibraryFolder wants it: with a trailing "/".
    std::string Prefix() const { return FPath.string() + "/"; }

private:
    fs::path FPath;
};

// Each test starts and ends with no library loaded and the system's search order.
class TlsLoader : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        Reset();
        unsetenv("VL_FAKE_TLS_TEXT");
        unsetenv("VL_FAKE_TLS_NUMBER");
    }
    static void Reset() {
        UnloadTlsLibraries();
        SetTlsLibraryFolder("");
    }

    // A folder holding the fake library under both OpenSSL 3 file names.
    static void InstallFakeLibraries(const TTempFolder& AFolder) {
        fs::copy_file(VL_FAKE_TLS_LIBRARY, AFolder.Path() / "libcrypto.so.3");
        fs::copy_file(VL_FAKE_TLS_LIBRARY, AFolder.Path() / "libssl.so.3");
    }
};

TEST_F(TlsLoader, SystemLibrariesLoadOnceAndBindTheClientPath) {
    ASSERT_TRUE(LoadTlsLibraries()) << ::testing::PrintToString(LoadFailures());
    EXPECT_TRUE(TlsLoaded());
    EXPECT_TRUE(LoadFailures().empty());
    const TTlsFunctions& F = TlsFunctions();
    EXPECT_GE(F.VersionNumber, 0x10101000UL);
    EXPECT_NE(F.TLS_client_method, nullptr);
    EXPECT_NE(F.SSL_connect, nullptr);
    EXPECT_NE(F.SSL_pending, nullptr);
    EXPECT_NE(F.ERR_error_string_n, nullptr);
    EXPECT_TRUE(LoadTlsLibraries());

    UnloadTlsLibraries();
    EXPECT_FALSE(TlsLoaded());
    EXPECT_EQ(TlsFunctions().SSL_connect, nullptr);
}

TEST_F(TlsLoader, MissingLibrariesAreReportedAndRetried) {
    TTempFolder Empty;
    SetTlsLibraryFolder(Empty.Prefix());
    for (int Attempt = 0; Attempt < 2; ++Attempt) {
        EXPECT_FALSE(LoadTlsLibraries());
        EXPECT_FALSE(TlsLoaded());
        const std::vector<std::string> Failures = LoadFailures();
        ASSERT_EQ(Failures.size(), 1U);
        const std::string Expected = "Failed to load " + Empty.Prefix() + "libcrypto.so.3 (error #";
        EXPECT_EQ(Failures[0].substr(0, Expected.size()), Expected);
        EXPECT_TRUE(Failures[0].ends_with(").")) << Failures[0];
    }
    // The same process loads the system's libraries once the folder is cleared.
    SetTlsLibraryFolder("");
    EXPECT_TRUE(LoadTlsLibraries());
}

TEST_F(TlsLoader, VersionRule) {
    struct TCase {
        const char* Text;
        const char* Number;
        const char* Refusal; // expected sole failure; null when the version passes
    };
    const TCase Cases[] = {
        {"OpenSSL 1.0.2u  20 Dec 2019", "1000215f", "Unsupported SSL Library version: 1000215f."},
        {"OpenSSL 1.1.0l  10 Sep 2019", "101000cf", "Unsupported SSL Library version: 101000cf."},
        {"OpenSSL 0.9.8zh 3 Dec 2015", "009081df", "Unsupported SSL Library version: 009081df."},
        {"FooSSL 3.1", "30100000", "Unsupported SSL Library: FooSSL 3.1."},
        {"LibreSSL 3.8.2", "20000000", nullptr},
        {"OpenSSL 3.0.2 15 Mar 2022", "30000020", nullptr},
        {"OpenSSL 1.1.1w  11 Sep 2023", "1010117f", nullptr},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        Reset();
        TTempFolder Folder;
        InstallFakeLibraries(Folder);
        setenv("VL_FAKE_TLS_TEXT", Case.Text, 1);
        setenv("VL_FAKE_TLS_NUMBER", Case.Number, 1);
        SetTlsLibraryFolder(Folder.Prefix());

        EXPECT_FALSE(LoadTlsLibraries());
        const std::vector<std::string> Failures = LoadFailures();
        if (Case.Refusal != nullptr) {
            EXPECT_EQ(Failures, std::vector<std::string>{Case.Refusal});
        } else {
            // Past the version check, the fake lacks every other required entry point.
            ASSERT_FALSE(Failures.empty());
            for (const std::string& Failure : Failures) {
                EXPECT_FALSE(Failure.starts_with("Unsupported")) << Failure;
            }
            EXPECT_NE(std::find(Failures.begin(), Failures.end(), "SSL_CTX_new"), Failures.end());
            EXPECT_NE(std::find(Failures.begin(), Failures.end(), "SSL_connect"), Failures.end());
            // Optional entry points are not reported.
            EXPECT_EQ(std::find(Failures.begin(), Failures.end(), "TLS_client_method"),
                      Failures.end());
        }
    }
}

} // namespace

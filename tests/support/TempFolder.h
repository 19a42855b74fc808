#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TTempFolder {
public:
    explicit TTempFolder(const std::string& ANamePrefix = "vltest-") {
        std::string Pattern =
            (std::filesystem::temp_directory_path() / (ANamePrefix + "XXXXXX")).string();
        if (mkdtemp(Pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed for " + Pattern);
        FPath = Pattern;
    }
    ~TTempFolder() {
        std::error_code Ignored;
        std::filesystem::remove_all(FPath, Ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // The folder with a trailing "/", for settings that put a folder in front of file names.
    std::string Prefix() const { return FPath.string() + "/"; }

private:
    std::filesystem::path FPath;
};

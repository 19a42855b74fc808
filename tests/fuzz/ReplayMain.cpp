// Runs a fuzz target without libFuzzer, so that any compiler's build replays the corpus: every
// argument is a file, or a folder whose files (at any depth) are fed one at a time. A finding
// ends the process as it would end a campaign.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> Files;
    for (int I = 1; I < argc; ++I) {
        const fs::path Path(argv[I]);
        if (fs::is_directory(Path)) {
            for (const auto& Entry : fs::recursive_directory_iterator(Path))
                if (Entry.is_regular_file())
                    Files.push_back(Entry.path());
        } else {
            Files.push_back(Path);
        }
    }
    std::sort(Files.begin(), Files.end());
    if (Files.empty()) {
        std::fprintf(stderr, "no corpus files given\n");
        return 1;
    }
    for (const fs::path& File : Files) {
        std::ifstream In(File, std::ios::binary);
        const std::vector<char> Bytes{std::istreambuf_iterator<char>(In),
                                      std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(Bytes.data()), Bytes.size());
    }
    std::printf("%zu passed, 0 failed\n", Files.size());
    return 0;
}

// The replay driver of the CI build: runs a fuzz target once on every file
// of the directories (or files) named on the command line, in name order, so
// that the checked-in corpus and past findings run under the sanitizers
// without the libFuzzer runtime. A directory that does not exist counts as
// empty, but a replay that runs no input at all fails. When an input fails,
// its file name is written to standard error.
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Present in a sanitizer build only: called before the sanitizer ends the run.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

namespace fs = std::filesystem;

std::string current_file;

void name_current_file() {
    const std::string line = "while replaying " + current_file + "\n";
    [[maybe_unused]] const auto written = write(STDERR_FILENO, line.data(), line.size());
}

void name_current_file_and_abort(int) {
    name_current_file();
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

std::vector<fs::path> input_files(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path root(argv[i]);
        if (fs::is_regular_file(root)) files.push_back(root);
        if (!fs::is_directory(root)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> read_bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(name_current_file);
    std::signal(SIGABRT, name_current_file_and_abort);
    const std::vector<fs::path> files = input_files(argc, argv);
    for (const fs::path& file : files) {
        current_file = file.string();
        const std::vector<std::uint8_t> bytes = read_bytes(file);
        // A copy of exactly the input's size, so that ASan sees a read past it.
        auto input = std::make_unique<std::uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), input.get());
        LLVMFuzzerTestOneInput(input.get(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return files.empty() ? 1 : 0;
}

// fuzz/replay_main.cpp
//
// Replays a fuzz target's corpus without libFuzzer: every file named on the command line, or
// found in a folder named there, goes once through LLVMFuzzerTestOneInput. Built with g++ so that
// `make test` keeps every input that once failed from failing again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>
#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

static void runOne(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
    // The initialiser may change the current folder, so the arguments are made absolute first.
    std::vector<fs::path> args;
    for (int i = 1; i < argc; ++i) args.push_back(fs::absolute(argv[i]));
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    size_t count = 0;
    for (const fs::path& arg : args) {
        if (!fs::exists(arg)) {
            std::fprintf(stderr, "replay: %s does not exist\n", arg.c_str());
            return 1;
        }
        if (fs::is_directory(arg)) {
            std::vector<fs::path> files;
            for (auto& e : fs::recursive_directory_iterator(arg))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (auto& f : files) { runOne(f); ++count; }
        } else {
            runOne(arg);
            ++count;
        }
    }
    if (count == 0) {
        std::fprintf(stderr, "replay: no corpus input found\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}

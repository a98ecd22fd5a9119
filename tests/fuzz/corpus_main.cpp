// fuzz_calls without libFuzzer: runs the target once over each file given,
// or each file in each folder given, as a test of the kept corpus.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i]))
            for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
                files.push_back(entry.path());
        else
            files.emplace_back(argv[i]);
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++runs;
        }
    }
    std::printf("fuzz_calls: %d inputs, every invariant held\n", runs);
    return runs > 0 ? 0 : 1;
}

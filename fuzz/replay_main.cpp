// SPDX-License-Identifier: GPL-3.0-or-later
// A fuzzer's entry point run once on every file of the folders given: the
// corpora replayed by the ordinary test suite, in every build it runs in
// (the sanitizers' among them), without libFuzzer. A finding makes the entry
// point abort, as it does under the fuzzer.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(argv[i], ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file())
                inputs.push_back(it->path());
        if (ec) {
            std::fprintf(stderr, "cannot read the corpus %s: %s\n", argv[i], ec.message().c_str());
            return 2;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::printf("%s\n", path.filename().c_str());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    // An empty corpus replays nothing and proves nothing.
    std::printf("%zu inputs replayed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}

// Replays committed fuzz inputs (fuzz/corpus/<target>/ and
// fuzz/regressions/<target>/) through a fuzz target's check, one test case
// per input file, named after the file. Main test thread only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace hgfuzz {

struct ReplayInput {
    std::string name; // "<folder>_<file>", for the test's name
    std::filesystem::path path;
};

// Every input file of `target` in the seed corpus and the regressions, in
// name order; a target's corpus is never empty, so an empty list is itself
// reported by the test that uses it.
inline std::vector<ReplayInput> ReplayInputs(const std::string &target)
{
    std::vector<ReplayInput> inputs;
    for (const char *folder : {"corpus", "regressions"}) {
        const std::filesystem::path dir = std::filesystem::path(HG_FUZZ_DIR) / folder / target;
        std::error_code ec;
        for (const auto &entry : std::filesystem::directory_iterator(dir, ec)) {
            if (!entry.is_regular_file())
                continue;
            std::string name = std::string(folder) + "_" + entry.path().filename().string();
            std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
            inputs.push_back({name, entry.path()});
        }
    }
    std::sort(inputs.begin(), inputs.end(),
              [](const ReplayInput &a, const ReplayInput &b) { return a.name < b.name; });
    return inputs;
}

inline std::vector<std::uint8_t> ReadInput(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::string ReplayName(const testing::TestParamInfo<ReplayInput> &info)
{
    return info.param.name;
}

} // namespace hgfuzz

// The libFuzzer entry point of a fuzz target over one of the checks in
// fuzz_checks.h: a failed property is reported and aborts, so that libFuzzer
// keeps the input as a crash. libFuzzer's thread.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define HG_FUZZ_TARGET(check)                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) \
    {                                                                                \
        const std::string failure = check(data, size);                               \
        if (!failure.empty()) {                                                      \
            std::fprintf(stderr, "property failed: %s\n", failure.c_str());          \
            std::abort();                                                            \
        }                                                                            \
        return 0;                                                                    \
    }

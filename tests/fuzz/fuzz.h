// Shared by the fuzz targets: the entry point libFuzzer calls, a check that
// stops the run with a message, and the plain reference for line splitting.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__, #condition);     \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fputc('\n', stderr);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The lines of BYTES: each ends at LF, at CR, or at CR followed by LF; a last
// line without a line end counts, an empty input has no lines.
inline std::vector<std::string> reference_lines(const uint8_t* bytes, size_t size) {
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < size) {
        const uint8_t b = bytes[i++];
        if (b == '\n' || b == '\r') {
            if (b == '\r' && i < size && bytes[i] == '\n') ++i;
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(b);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Shared helpers for the unit tests: a scratch folder and whole-file I/O.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>

#include "runtime/textfile/textfile.h"

// A fresh folder per test, removed afterwards; INOUTRES starts at 0.
class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        std::random_device random;
        std::error_code error;
        // A name nobody else holds: create_directory fails on an existing one.
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            fs::path candidate =
                fs::temp_directory_path() / ("sudoku2-test-" + std::to_string(random()));
            if (fs::create_directory(candidate, error)) dir = candidate.generic_string();
        }
        ASSERT_FALSE(dir.empty());
        INOUTRES = 0;
    }
    void TearDown() override {
        INOUTRES = 0;
        std::error_code error;
        std::filesystem::remove_all(dir, error);
        ASSERT_FALSE(error) << error.message();
    }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    std::string dir;
};

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The size of a file that a channel may hold open: on Windows nobody else can
// open it then, but its size can still be read. A missing file has no size.
constexpr uintmax_t NO_SIZE = ~uintmax_t{0};
inline uintmax_t size_on_disk(const std::string& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    return error ? NO_SIZE : size;
}

inline std::string text_of(const COUNTEDSTRING& s) {
    return {reinterpret_cast<const char*>(s.CHARS), s.LENGTH};
}

inline COUNTEDSTRING counted(const std::string& text) {
    COUNTEDSTRING s{};
    s.LENGTH = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i) s.CHARS[i] = static_cast<uint8_t>(text[i]);
    return s;
}

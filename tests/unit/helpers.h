// Shared helpers for the unit tests: a scratch folder and whole-file I/O.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>

#include "runtime/textfile/textrec.h"

// A fresh folder per test, removed afterwards; INOUTRES starts at 0.
class ScratchDir : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sudoku2-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        INOUTRES = 0;
    }
    void TearDown() override {
        INOUTRES = 0;
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
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

inline std::string text_of(const COUNTEDSTRING& s) {
    return {reinterpret_cast<const char*>(s.CHARS), s.LENGTH};
}

inline COUNTEDSTRING counted(const std::string& text) {
    COUNTEDSTRING s{};
    s.LENGTH = static_cast<uint8_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i) s.CHARS[i] = static_cast<uint8_t>(text[i]);
    return s;
}

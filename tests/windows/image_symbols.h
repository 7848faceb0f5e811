// The functions of a cross-built executable, from the COFF symbol table that
// the linker leaves in it: which function holds an offset from the image
// base, as the run-time error report prints its addresses.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace harness {

class ImageSymbols {
  public:
    // Reads EXE's code sections and function symbols; empty if it has none.
    explicit ImageSymbols(const std::string& exe);

    bool empty() const { return functions_.empty(); }
    bool in_code(uint64_t offset) const;
    // The bare name of the function that holds OFFSET ("BEOLVAS"), or "".
    std::string function_at(uint64_t offset) const;

  private:
    struct Function {
        uint64_t start;
        std::string name;
    };
    struct Range {
        uint64_t start;
        uint64_t end;
    };
    std::vector<Function> functions_; // sorted by start
    std::vector<Range> code_;
};

} // namespace harness

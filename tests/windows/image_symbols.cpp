#include "image_symbols.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>

#include "console_harness.h"

namespace harness {
namespace {

constexpr size_t SYMBOL_BYTES = 18; // IMAGE_SIZEOF_SYMBOL: the records are packed
constexpr size_t SHORT_NAME_BYTES = 8;
constexpr uint16_t FUNCTION_TYPE = 0x20;

template <typename T> bool read_at(const std::string& image, size_t at, T& value) {
    if (at > image.size() || image.size() - at < sizeof(T)) return false;
    std::memcpy(&value, image.data() + at, sizeof(T));
    return true;
}

// "(anonymous namespace)::FAIL_NOW()" from "_ZN12_GLOBAL__N_18FAIL_NOWEv",
// then "FAIL_NOW": the bare name, as a report reader would look it up.
std::string bare_name(const std::string& symbol) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : symbol;
    std::free(demangled);
    if (!name.empty() && name.back() == ')') name.erase(name.rfind('('));
    size_t scope = name.rfind("::");
    return scope == std::string::npos ? name : name.substr(scope + 2);
}

} // namespace

ImageSymbols::ImageSymbols(const std::string& exe) {
    const std::string image = read_file(exe);
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!read_at(image, 0, dos) || !read_at(image, static_cast<size_t>(dos.e_lfanew), nt)) return;
    size_t section_at = static_cast<size_t>(dos.e_lfanew) +
                        offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                        nt.FileHeader.SizeOfOptionalHeader;
    std::vector<IMAGE_SECTION_HEADER> sections(nt.FileHeader.NumberOfSections);
    for (size_t i = 0; i < sections.size(); ++i) {
        if (!read_at(image, section_at + i * sizeof(IMAGE_SECTION_HEADER), sections[i])) return;
        if (sections[i].Characteristics & IMAGE_SCN_CNT_CODE)
            code_.push_back({sections[i].VirtualAddress,
                             uint64_t{sections[i].VirtualAddress} + sections[i].Misc.VirtualSize});
    }
    const size_t symbols_at = nt.FileHeader.PointerToSymbolTable;
    const size_t count = nt.FileHeader.NumberOfSymbols;
    const size_t strings_at = symbols_at + count * SYMBOL_BYTES;
    for (size_t i = 0; symbols_at != 0 && i < count; ++i) {
        const size_t at = symbols_at + i * SYMBOL_BYTES;
        uint32_t value = 0;
        int16_t section = 0;
        uint16_t type = 0;
        uint8_t aux = 0;
        if (!read_at(image, at + 8, value) || !read_at(image, at + 12, section) ||
            !read_at(image, at + 14, type) || !read_at(image, at + 17, aux))
            break;
        if (type == FUNCTION_TYPE && section > 0 &&
            static_cast<size_t>(section) <= sections.size()) {
            uint32_t zeros = 0;
            uint32_t offset = 0;
            read_at(image, at, zeros);
            read_at(image, at + 4, offset);
            std::string name;
            if (zeros != 0) {
                name.assign(image.data() + at, SHORT_NAME_BYTES);
                name.resize(std::strlen(name.c_str()));
            } else if (strings_at + offset < image.size()) {
                name = image.c_str() + strings_at + offset;
            }
            functions_.push_back(
                {uint64_t{sections[section - 1].VirtualAddress} + value, bare_name(name)});
        }
        i += aux;
    }
    std::sort(functions_.begin(), functions_.end(),
              [](const Function& a, const Function& b) { return a.start < b.start; });
}

bool ImageSymbols::in_code(uint64_t offset) const {
    return std::any_of(code_.begin(), code_.end(), [offset](const Range& range) {
        return offset >= range.start && offset < range.end;
    });
}

std::string ImageSymbols::function_at(uint64_t offset) const {
    if (!in_code(offset)) return {};
    auto after = std::upper_bound(functions_.begin(), functions_.end(), offset,
                                  [](uint64_t at, const Function& f) { return at < f.start; });
    return after == functions_.begin() ? std::string() : std::prev(after)->name;
}

} // namespace harness

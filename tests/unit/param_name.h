// Test names for table-driven tests: a row's description with every
// character that a test name may not hold made '_'.
#pragma once
#include <cctype>
#include <string>

inline std::string param_name(const char* description) {
    std::string name;
    for (const char* p = description; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) != 0 ? *p : '_';
    return name;
}

// The counters that the console-call counter keeps inside the measured
// program, in shared memory that the benchmark maps by name.
#pragma once
#include <windows.h>

#include <string>

constexpr int MAX_COUNTED_FUNCTIONS = 64;
constexpr int COUNTED_NAME_LENGTH = 48;

struct ConsoleCounts {
    volatile LONG64 sleeps;
    volatile LONG64 functions;
    volatile LONG64 calls[MAX_COUNTED_FUNCTIONS];
    char names[MAX_COUNTED_FUNCTIONS][COUNTED_NAME_LENGTH];
};

inline std::string console_counts_name(DWORD process_id) {
    return "sudoku2-console-calls-" + std::to_string(process_id);
}

// What a run costs, counted rather than timed: user-space instructions
// (valgrind's callgrind) and system calls by name (strace -c -f).
#pragma once
#include <map>
#include <string>
#include <vector>

struct Tally {
    double instructions = 0.0;
    std::map<std::string, double> calls; // by system call name
    double total_calls() const;
};

// The command that runs COMMAND under the tool, its report left in DIR.
std::vector<std::string> under_callgrind(const std::string& dir,
                                         const std::vector<std::string>& command);
std::vector<std::string> under_strace(const std::string& dir,
                                      const std::vector<std::string>& command);

// Reads the reports back into TALLY; false (with a message) if one is missing.
bool read_callgrind(const std::string& dir, Tally& tally);
bool read_strace(const std::string& dir, Tally& tally);

// Per step: (LONG - SHORT) / STEPS, call by call.
Tally slope(const Tally& long_run, const Tally& short_run, double steps);

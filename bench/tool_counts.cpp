#include "tool_counts.h"

#include <cctype>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

constexpr char CALLGRIND_REPORT[] = "/callgrind.out";
constexpr char VALGRIND_LOG[] = "/valgrind.log";
constexpr char STRACE_REPORT[] = "/strace.txt";
constexpr char TOTAL_LINE[] = "totals:";
// strace -c's columns: % time, seconds, usecs/call, calls, [errors,] syscall.
constexpr size_t CALLS_COLUMN = 3;
constexpr size_t LEAST_COLUMNS = 5;

std::vector<std::string> joined(std::vector<std::string> tool,
                                const std::vector<std::string>& command) {
    tool.insert(tool.end(), command.begin(), command.end());
    return tool;
}

} // namespace

double Tally::total_calls() const {
    double total = 0.0;
    for (const auto& [name, count] : calls) total += count;
    return total;
}

std::vector<std::string> under_callgrind(const std::string& dir,
                                         const std::vector<std::string>& command) {
    return joined({"valgrind", "--tool=callgrind", "--callgrind-out-file=" + dir + CALLGRIND_REPORT,
                   "--log-file=" + dir + VALGRIND_LOG},
                  command);
}

std::vector<std::string> under_strace(const std::string& dir,
                                      const std::vector<std::string>& command) {
    return joined({"strace", "-f", "-c", "-o", dir + STRACE_REPORT}, command);
}

bool read_callgrind(const std::string& dir, Tally& tally) {
    std::ifstream report(dir + CALLGRIND_REPORT);
    std::string line;
    while (std::getline(report, line))
        if (line.rfind(TOTAL_LINE, 0) == 0) {
            tally.instructions = std::stod(line.substr(sizeof TOTAL_LINE - 1));
            return true;
        }
    std::cerr << "no callgrind totals in " << dir << CALLGRIND_REPORT << " (see " << dir
              << VALGRIND_LOG << ")\n";
    return false;
}

bool read_strace(const std::string& dir, Tally& tally) {
    std::ifstream report(dir + STRACE_REPORT);
    std::string line;
    bool any = false;
    while (std::getline(report, line)) {
        std::istringstream words(line);
        std::vector<std::string> column;
        for (std::string word; words >> word;) column.push_back(word);
        // Rows of counts start with the share of time; headings and rules do not.
        if (column.size() < LEAST_COLUMNS ||
            std::isdigit(static_cast<unsigned char>(column[0][0])) == 0 || column.back() == "total")
            continue;
        tally.calls[column.back()] += std::stod(column[CALLS_COLUMN]);
        any = true;
    }
    if (!any) std::cerr << "no strace summary in " << dir << STRACE_REPORT << "\n";
    return any;
}

Tally slope(const Tally& long_run, const Tally& short_run, double steps) {
    Tally per_step;
    per_step.instructions = (long_run.instructions - short_run.instructions) / steps;
    for (const auto& [name, count] : long_run.calls) per_step.calls[name] += count / steps;
    for (const auto& [name, count] : short_run.calls) per_step.calls[name] -= count / steps;
    return per_step;
}

#include "pty_runs.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char BANNER[] = "Press Enter to quit.";
// A run under valgrind on a loaded machine may take this long to start.
constexpr int SILENCE_LIMIT_MS = 120000;
constexpr size_t READ_CHUNK = 65536;

using Clock = std::chrono::steady_clock;

bool start(PtyRun& run) {
    winsize ws{};
    ws.ws_row = static_cast<unsigned short>(run.rows);
    ws.ws_col = static_cast<unsigned short>(run.cols);
    std::vector<char*> argv;
    for (std::string& arg : run.argv) argv.push_back(arg.data());
    argv.push_back(nullptr);
    run.pid = forkpty(&run.master, nullptr, nullptr, &ws);
    if (run.pid < 0) return false;
    if (run.pid == 0) {
        if (chdir(run.dir.c_str()) != 0) _exit(127);
        setenv("LANG", "C.UTF-8", 1);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return true;
}

// Takes what the program sent; false once the terminal has no writer left.
bool serve(PtyRun& run, Clock::time_point started) {
    char buf[READ_CHUNK];
    const ssize_t n = read(run.master, buf, sizeof buf);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) return false;
    const size_t from = run.out.size() > sizeof BANNER ? run.out.size() - sizeof BANNER : 0;
    run.out.append(buf, static_cast<size_t>(n));
    if (!run.banner && run.out.find(BANNER, from) != std::string::npos) {
        run.banner = true;
        run.banner_ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        if (write(run.master, "\r", 1) != 1) return false;
    }
    return true;
}

void finish(PtyRun& run) {
    close(run.master);
    run.master = -1;
    waitpid(run.pid, &run.status, 0);
}

} // namespace

bool run_all(std::vector<PtyRun>& runs) {
    const Clock::time_point started = Clock::now();
    for (PtyRun& run : runs)
        if (!start(run)) {
            std::perror("forkpty");
            return false;
        }
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<PtyRun*> owner;
        for (PtyRun& run : runs)
            if (run.master >= 0) {
                waiting.push_back(pollfd{run.master, POLLIN, 0});
                owner.push_back(&run);
            }
        if (waiting.empty()) return true;
        const int ready = poll(waiting.data(), waiting.size(), SILENCE_LIMIT_MS);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            std::fprintf(stderr, "%s sent nothing for %d s\n", owner[0]->argv[0].c_str(),
                         SILENCE_LIMIT_MS / 1000);
            for (PtyRun* run : owner) kill(run->pid, SIGKILL);
            for (PtyRun* run : owner) finish(*run);
            return false;
        }
        for (size_t i = 0; i < waiting.size(); ++i)
            if (waiting[i].revents != 0 && !serve(*owner[i], started)) finish(*owner[i]);
    }
}

std::string make_folder() {
    char dir[] = "/tmp/sudoku2-bench-XXXXXX";
    return mkdtemp(dir) != nullptr ? dir : "";
}

void remove_folder(const std::string& dir) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

bool write_file(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool whole = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && whole;
}

// Programs run on pseudo-terminals, several at once, each in a folder of its
// own: the runner presses Enter once the closing banner shows, and keeps
// every byte sent.
#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

struct PtyRun {
    std::vector<std::string> argv; // argv[0]: a path, or a name looked up on PATH
    std::string dir;               // the program's current folder
    int rows = 24;
    int cols = 80;

    // What the run gave.
    std::string out;        // every byte sent to the terminal
    bool banner = false;    // the closing banner showed
    double banner_ms = 0.0; // from the start to the banner
    int status = -1;        // as waitpid reports it

    // The runner's own.
    pid_t pid = -1;
    int master = -1;
};

// Starts every run at once and serves them all until each has ended; false
// (with a message) if one could not start or stayed silent too long.
bool run_all(std::vector<PtyRun>& runs);

// A fresh folder under /tmp, and its removal with everything in it.
std::string make_folder();
void remove_folder(const std::string& dir);

// Writes TEXT to the file PATH; false on failure.
bool write_file(const std::string& path, const std::string& text);

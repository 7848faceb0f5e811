// The puzzle file through the text channel and the puzzle reader: any bytes,
// any line ends, any length give the grid that a plain reading of the format
// gives, and only values 0..9.
#include <fcntl.h>
#include <unistd.h>

#include "fuzz.h"
#include "solver/sudoku2.h"

namespace {

constexpr char PUZZLE_FILE[] = "c:\\in.txt";
constexpr size_t LINE_CAPACITY = 255;

bool enter_scratch_dir() {
    char dir[] = "/tmp/sudoku2-fuzz-XXXXXX";
    return mkdtemp(dir) != nullptr && chdir(dir) == 0;
}

void write_puzzle(const uint8_t* data, size_t size) {
    const int fd = open(PUZZLE_FILE, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0, "cannot create the puzzle file");
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        FUZZ_CHECK(n > 0, "cannot write the puzzle file");
        done += static_cast<size_t>(n);
    }
    close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = enter_scratch_dir();
    FUZZ_CHECK(ready, "no scratch directory");
    write_puzzle(data, size);
    BE = SUD{};
    INOUTRES = 0;
    BEOLVAS();
    FUZZ_CHECK(INOUTRES == 0, "code %d", INOUTRES);

    const std::vector<std::string> lines = reference_lines(data, size);
    for (size_t row = 0; row < 9; ++row) {
        std::string line = row < lines.size() ? lines[row] : std::string();
        if (line.size() > LINE_CAPACITY) line.resize(LINE_CAPACITY);
        for (size_t col = 0; col < 9; ++col) {
            const size_t at = 2 * col;
            const char c = at < line.size() ? line[at] : '0';
            const int want = (c >= '1' && c <= '9') ? c - '0' : 0;
            const int got = BE.CELL[row][col];
            FUZZ_CHECK(got <= 9, "cell (%zu, %zu) holds %d", row, col, got);
            FUZZ_CHECK(got == want, "cell (%zu, %zu): %d, want %d", row, col, got, want);
        }
    }
    return 0;
}

// The least a program could do for the animation: for each step, the bytes
// that change the terminal's picture (worked out beforehand by the
// benchmark) in one write, then the 60 ms pause.
//
// usage: least_program STEPS
// STEPS holds, for each step, a 4-byte length in the machine's byte order
// and then that many bytes.
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr long PAUSE_NS = 60'000'000;
constexpr ssize_t CAPACITY = 1 << 20;
uint8_t STEPS[CAPACITY];

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 2;
    ssize_t size = 0;
    for (;;) {
        const ssize_t n = read(fd, STEPS + size, CAPACITY - size);
        if (n < 0 || size + n == CAPACITY) return 2;
        if (n == 0) break;
        size += n;
    }
    close(fd);
    ssize_t at = 0;
    while (at + static_cast<ssize_t>(sizeof(uint32_t)) <= size) {
        uint32_t length = 0;
        std::memcpy(&length, STEPS + at, sizeof length);
        at += sizeof length;
        if (length > size - at) return 2;
        if (length > 0 && write(STDOUT_FILENO, STEPS + at, length) != length) return 1;
        at += length;
        timespec pause{0, PAUSE_NS};
        nanosleep(&pause, nullptr);
    }
    return 0;
}

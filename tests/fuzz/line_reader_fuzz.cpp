// The text channel's line reader over a device that hands out the bytes in
// pieces of a chosen size: for every capacity, each line read is the plain
// reading's line cut to the capacity, the lines come in order, and at the end
// of the input a read gives nothing.
#include <algorithm>
#include <cstring>

#include "fuzz.h"
#include "runtime/textfile/textfile.h"

namespace {

const uint8_t* SOURCE = nullptr;
size_t SOURCE_LEFT = 0;
size_t PIECE = 1;

int32_t piece_read(TEXTREC& T) {
    const size_t n = std::min({SOURCE_LEFT, PIECE, static_cast<size_t>(T.BUFSIZE)});
    if (n > 0) std::memcpy(T.BUFPTR, SOURCE, n);
    SOURCE += n;
    SOURCE_LEFT -= n;
    T.BUFPOS = 0;
    T.BUFEND = static_cast<int32_t>(n);
    return 0;
}

int32_t nothing(TEXTREC&) {
    return 0;
}

int32_t piece_open(TEXTREC& T) {
    T.INOUTFUNC = piece_read;
    T.FLUSHFUNC = nullptr;
    T.CLOSEFUNC = nothing;
    return 0;
}

TEXTREC CHANNEL;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // First byte: the capacity (1..255); second: the device's piece size (1..256).
    if (size < 2) return 0;
    const int32_t capacity = data[0] % MAXSTRLEN + 1;
    PIECE = static_cast<size_t>(data[1]) + 1;
    SOURCE = data + 2;
    SOURCE_LEFT = size - 2;
    const std::vector<std::string> lines = reference_lines(data + 2, size - 2);

    INOUTRES = 0;
    ASSIGN(CHANNEL, STR(""));
    CHANNEL.OPENFUNC = piece_open;
    RESET(CHANNEL);
    FUZZ_CHECK(INOUTRES == 0, "open: code %d", INOUTRES);
    COUNTEDSTRING line{};
    for (size_t i = 0; i <= lines.size(); ++i) {
        READ_STRING(CHANNEL, line, capacity);
        READLN_END(CHANNEL);
        FUZZ_CHECK(INOUTRES == 0, "line %zu: code %d", i, INOUTRES);
        std::string want = i < lines.size() ? lines[i] : std::string();
        if (want.size() > static_cast<size_t>(capacity)) want.resize(static_cast<size_t>(capacity));
        const std::string got(reinterpret_cast<const char*>(line.CHARS), line.LENGTH);
        FUZZ_CHECK(got == want, "line %zu of %zu (capacity %d, pieces of %zu): %zu bytes, want %zu",
                   i, lines.size(), capacity, PIECE, got.size(), want.size());
    }
    FUZZ_CHECK(SOURCE_LEFT == 0 && CHANNEL.BUFPOS >= CHANNEL.BUFEND, "input left unread");
    CLOSE(CHANNEL);
    FUZZ_CHECK(INOUTRES == 0, "close: code %d", INOUTRES);
    return 0;
}

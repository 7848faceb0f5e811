// Platform file layer: the few OS file calls the text channel needs.
// Errors come back as OS error numbers in the numbering the channel's
// error mapping expects (2 missing file, 3 missing directory, 5 refused,
// 19 write-protected, 32 held by another opener, ...).
#pragma once
#include <cstdint>

namespace plat {

// Wide enough for a file descriptor and for a Win32 handle.
using Handle = intptr_t;
constexpr Handle INVALID_HANDLE = -1;

// OS error numbers the file layer produces for the common failures.
constexpr uint32_t ERR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERR_TOO_MANY_OPEN_FILES = 4;
constexpr uint32_t ERR_ACCESS_DENIED = 5;
constexpr uint32_t ERR_WRITE_PROTECT = 19;
constexpr uint32_t ERR_NOT_READY = 21;
constexpr uint32_t ERR_SEEK = 25;
constexpr uint32_t ERR_GEN_FAILURE = 31;
constexpr uint32_t ERR_SHARING_VIOLATION = 32;
constexpr uint32_t ERR_INVALID_PARAMETER = 87;
constexpr uint32_t ERR_BROKEN_PIPE = 109;
constexpr uint32_t ERR_DISK_FULL = 112;
constexpr uint32_t ERR_FILENAME_TOO_LONG = 206;
constexpr uint32_t ERR_FILE_TOO_LARGE = 223;

enum class OpenMode { Read, Write };

// Opens a file exclusively: Read needs an existing file, Write creates it or
// cuts it to 0 bytes. Returns INVALID_HANDLE and sets *error on failure.
Handle file_open(const char* name, OpenMode mode, uint32_t* error);

// One read call; returns the bytes got (0 at end of file) or -1 and *error.
int32_t file_read(Handle h, uint8_t* buf, uint32_t count, uint32_t* error);

// One write call; returns the bytes written or -1 and *error.
int32_t file_write(Handle h, const uint8_t* buf, uint32_t count, uint32_t* error);

void file_close(Handle h);

// Cuts an open file back to SIZE bytes (after a failed write, so that it
// ends at the last whole record handed over). False if it cannot be cut.
bool file_truncate(Handle h, uint64_t size, uint32_t* error);

// True for a terminal or another character device.
bool file_is_char_device(Handle h);

// The process's standard input, output and error handles. A stream the
// process was started without is given the null device, so that no file
// opened later can take its place.
enum class StdStream { Input, Output, Error };
Handle std_handle(StdStream stream);

} // namespace plat

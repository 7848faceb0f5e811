// Win32 implementation of the platform file layer. Errors are GetLastError's
// own numbers, the numbering the channel's mapping expects.
#include "platform/file.h"

#include "platform/internal/hooks.h"
#include "platform/win32/win32.h"

namespace plat {

using win32::native;
using win32::portable;

namespace {

constexpr DWORD STD_HANDLE_IDS[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
constexpr char NULL_DEVICE[] = "NUL";

} // namespace

Handle file_open(const char* name, OpenMode mode, uint32_t* error) {
    *error = 0;
    const bool reading = mode == OpenMode::Read;
    // Inheritable, and held alone (share mode 0) while open.
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE h = CreateFileA(name, reading ? GENERIC_READ : GENERIC_WRITE, 0, &sa,
                           reading ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) {
        *error = GetLastError();
        return INVALID_HANDLE;
    }
    return portable(h);
}

int32_t file_read(Handle h, uint8_t* buf, uint32_t count, uint32_t* error) {
    DWORD got = 0;
    if (ReadFile(native(h), buf, count, &got, nullptr) == 0) {
        *error = GetLastError();
        return -1;
    }
    return static_cast<int32_t>(got);
}

int32_t file_write(Handle h, const uint8_t* buf, uint32_t count, uint32_t* error) {
    if (BEFORE_TERMINAL_WRITE != nullptr && file_is_char_device(h)) BEFORE_TERMINAL_WRITE(h);
    DWORD done = 0;
    if (WriteFile(native(h), buf, count, &done, nullptr) == 0) {
        *error = GetLastError();
        return -1;
    }
    return static_cast<int32_t>(done);
}

void file_close(Handle h) {
    CloseHandle(native(h));
}

bool file_truncate(Handle h, uint64_t size, uint32_t* error) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(size);
    if (SetFilePointerEx(native(h), to, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(native(h)) != 0)
        return true;
    *error = GetLastError();
    return false;
}

bool file_is_char_device(Handle h) {
    return GetFileType(native(h)) == FILE_TYPE_CHAR;
}

Handle std_handle(StdStream stream) {
    const DWORD id = STD_HANDLE_IDS[static_cast<int>(stream)];
    HANDLE h = GetStdHandle(id);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) return portable(h);
    // A stream the process was started without reads as empty and swallows
    // writes, so a later open can never be mistaken for it.
    const bool input = stream == StdStream::Input;
    h = CreateFileA(NULL_DEVICE, input ? GENERIC_READ : GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return INVALID_HANDLE;
    SetStdHandle(id, h);
    return portable(h);
}

} // namespace plat

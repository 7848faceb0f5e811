// POSIX implementation of the platform file layer.
#include "platform/file.h"
#include "platform/internal/hooks.h"
#include "platform/posix/posix.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

constexpr mode_t NEW_FILE_PERMISSIONS = 0666;
constexpr size_t PATH_CAPACITY = 4096;

struct ErrnoMapping {
    int err;
    uint32_t os_error;
};

// Every errno in 19..32 has an entry, so none of them can be mistaken for
// the OS error numbers that the channel maps to 150..162 and 5.
constexpr ErrnoMapping ERRNO_TABLE[] = {
    {ENOENT, ERR_FILE_NOT_FOUND},
    {ENOTDIR, ERR_PATH_NOT_FOUND},
    {EACCES, ERR_ACCESS_DENIED},
    {EPERM, ERR_ACCESS_DENIED},
    {EISDIR, ERR_ACCESS_DENIED},
    {EROFS, ERR_WRITE_PROTECT},
    {EWOULDBLOCK, ERR_SHARING_VIOLATION},
    {ETXTBSY, ERR_SHARING_VIOLATION},
    {ENODEV, ERR_NOT_READY},
    {ENXIO, ERR_NOT_READY},
    {EINVAL, ERR_INVALID_PARAMETER},
    {ENFILE, ERR_TOO_MANY_OPEN_FILES},
    {EMFILE, ERR_TOO_MANY_OPEN_FILES},
    {ENOTTY, ERR_INVALID_PARAMETER},
    {EFBIG, ERR_FILE_TOO_LARGE},
    {ENOSPC, ERR_DISK_FULL},
    {EDQUOT, ERR_DISK_FULL},
    {ESPIPE, ERR_SEEK},
    {EMLINK, ERR_GEN_FAILURE},
    {EIO, ERR_GEN_FAILURE},
    {EPIPE, ERR_BROKEN_PIPE},
    {ENAMETOOLONG, ERR_FILENAME_TOO_LONG},
    {ELOOP, ERR_PATH_NOT_FOUND},
};

// ENOENT on a file being read means a missing file when its directory
// exists (the current one for a bare name, which may have been removed),
// and a missing directory otherwise. A file being created is only missing
// when its directory is.
uint32_t missing_file_or_directory(const char* name, OpenMode mode) {
    if (mode == OpenMode::Write) return ERR_PATH_NOT_FOUND;
    char dir[PATH_CAPACITY] = ".";
    const char* slash = std::strrchr(name, '/');
    if (slash != nullptr) {
        size_t len = static_cast<size_t>(slash - name);
        if (len == 0) return ERR_FILE_NOT_FOUND; // the root always exists
        if (len >= sizeof dir) return ERR_PATH_NOT_FOUND;
        std::memcpy(dir, name, len);
        dir[len] = '\0';
    }
    // A removed directory still stats while it is in use, with no links left.
    struct stat st {};
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_nlink > 0) return ERR_FILE_NOT_FOUND;
    return ERR_PATH_NOT_FOUND;
}

// An errno value in the OS error numbering; one with no counterpart comes
// back as itself.
uint32_t os_error_from_errno(int err) {
    for (const ErrnoMapping& m : ERRNO_TABLE)
        if (m.err == err) return m.os_error;
    return static_cast<uint32_t>(err);
}

// One read or write CALL, tried again after an interruption unless the
// process is ending by a request: the bytes moved, or -1 and *error. An
// endless or blocking source or sink (/dev/zero, a FIFO) must not keep a
// request to end the process waiting.
template <typename Call> int32_t transferred(Call call, uint32_t* error) {
    sig::act_on_pending();
    ssize_t n;
    do {
        n = call();
    } while (n < 0 && errno == EINTR && sig::retry_after_interrupt());
    if (n < 0) {
        *error = os_error_from_errno(errno);
        return -1;
    }
    return static_cast<int32_t>(n);
}

Handle fail(int fd, int err, uint32_t* error) {
    if (fd >= 0) close(fd);
    *error = os_error_from_errno(err);
    return INVALID_HANDLE;
}

} // namespace

Handle file_open(const char* name, OpenMode mode, uint32_t* error) {
    *error = 0;
    // No O_TRUNC here: a file is cut only once this opener holds it alone.
    int flags = O_CLOEXEC | O_NOCTTY | (mode == OpenMode::Read ? O_RDONLY : O_WRONLY | O_CREAT);
    // A FIFO nobody writes blocks the open: a request to end the process
    // interrupts it and is acted on before anything is created.
    sig::act_on_pending();
    int fd;
    do {
        fd = open(name, flags, NEW_FILE_PERMISSIONS);
    } while (fd < 0 && errno == EINTR && sig::retry_after_interrupt());
    if (fd < 0) {
        if (errno == ENOENT) {
            *error = missing_file_or_directory(name, mode);
            return INVALID_HANDLE;
        }
        return fail(fd, errno, error);
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) return fail(fd, errno, error);
    if (S_ISDIR(st.st_mode)) return fail(fd, EISDIR, error);
    // Exclusive hold of a regular file while open; another holder means a
    // sharing violation. A device is shared by nature, and a lock on it would
    // hold it for every process of the system.
    if (S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return fail(fd, EWOULDBLOCK, error);
    if (mode == OpenMode::Write && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0)
        return fail(fd, errno, error);
    return fd;
}

int32_t file_read(Handle h, uint8_t* buf, uint32_t count, uint32_t* error) {
    return transferred([&] { return read(h, buf, count); }, error);
}

int32_t file_write(Handle h, const uint8_t* buf, uint32_t count, uint32_t* error) {
    if (BEFORE_TERMINAL_WRITE != nullptr && isatty(h)) BEFORE_TERMINAL_WRITE(h);
    return transferred([&] { return write(h, buf, count); }, error);
}

void file_close(Handle h) {
    close(h);
}

bool file_truncate(Handle h, uint64_t size, uint32_t* error) {
    int r = 0;
    do {
        r = ftruncate(h, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r == 0) return true;
    *error = os_error_from_errno(errno);
    return false;
}

Handle std_handle(StdStream stream) {
    // Descriptors 0-2 that the process was started without get /dev/null,
    // lowest first, before anything else is opened.
    static bool checked = false;
    if (!checked) {
        for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
            if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
        checked = true;
    }
    switch (stream) {
    case StdStream::Input: return STDIN_FILENO;
    case StdStream::Output: return STDOUT_FILENO;
    case StdStream::Error: return STDERR_FILENO;
    }
    return INVALID_HANDLE;
}

bool file_is_char_device(Handle h) {
    struct stat st {};
    return fstat(h, &st) == 0 && S_ISCHR(st.st_mode);
}

} // namespace plat

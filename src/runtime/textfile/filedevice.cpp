// The file device: named disk files over the platform file layer, and
// channels opened on OS handles that are already open.
#include "runtime/textfile/filedevice.h"

#include "platform/file.h"

#include <cstring>

namespace {

// OS errors 19..31 are recorded as 150..162, a sharing violation as IO_ACCESS_DENIED.
constexpr uint32_t FIRST_DEVICE_ERROR = 19;
constexpr uint32_t LAST_DEVICE_ERROR = 31;
constexpr uint32_t DEVICE_ERROR_OFFSET = 131;
constexpr uint16_t LOW16 = 0xFFFF;

// Disk files open for writing, so that an abnormal end can still hand over
// what they hold, and the bytes each holds, so that a failed hand-over can
// be taken back. The program has one; a few slots leave room for tests.
struct OPENFILE {
    TEXTREC* T;
    uint64_t SIZE; // bytes the OS has taken since the file was created
};
constexpr int OPENFILESLOTS = 8;
OPENFILE OPENFILES[OPENFILESLOTS];

void REMEMBER(TEXTREC& T) {
    for (OPENFILE& SLOT : OPENFILES)
        if (SLOT.T == nullptr || SLOT.T == &T) {
            SLOT = OPENFILE{&T, 0};
            return;
        }
}

void FORGET(TEXTREC& T) {
    for (OPENFILE& SLOT : OPENFILES)
        if (SLOT.T == &T) SLOT.T = nullptr;
}

OPENFILE* FIND(const TEXTREC& T) {
    for (OPENFILE& SLOT : OPENFILES)
        if (SLOT.T == &T) return &SLOT;
    return nullptr;
}

} // namespace

void ERRNO2INOUTRES(uint32_t OSERROR) {
    if (OSERROR >= FIRST_DEVICE_ERROR && OSERROR <= LAST_DEVICE_ERROR)
        INOUTRES = static_cast<uint16_t>(OSERROR + DEVICE_ERROR_OFFSET);
    else if (OSERROR == plat::ERR_SHARING_VIOLATION)
        INOUTRES = IO_ACCESS_DENIED;
    else
        INOUTRES = static_cast<uint16_t>(OSERROR & LOW16);
}

int32_t FILEOPENFUNC(TEXTREC& T) {
    T.HANDLE = UNUSEDHANDLE;
    const bool WRITING = T.MODE == FMOUTPUT;
    uint32_t OSERROR = 0;
    T.HANDLE =
        plat::file_open(T.NAME, WRITING ? plat::OpenMode::Write : plat::OpenMode::Read, &OSERROR);
    if (T.HANDLE == plat::INVALID_HANDLE) ERRNO2INOUTRES(OSERROR);
    T.CLOSEFUNC = FILECLOSEFUNC;
    T.FLUSHFUNC = nullptr;
    T.INOUTFUNC = WRITING ? FILEWRITEFUNC : FILEREADFUNC;
    if (WRITING && INOUTRES == 0) {
        if (plat::file_is_char_device(T.HANDLE))
            T.FLUSHFUNC = FILEWRITEFUNC;
        else
            REMEMBER(T);
    }
    return 0;
}

int32_t FILEREADFUNC(TEXTREC& T) {
    int32_t TOTAL = 0;
    uint32_t OSERROR = 0;
    if (plat::file_is_char_device(T.HANDLE)) {
        int32_t GOT =
            plat::file_read(T.HANDLE, T.BUFPTR, static_cast<uint32_t>(T.BUFSIZE), &OSERROR);
        if (GOT < 0)
            ERRNO2INOUTRES(OSERROR);
        else
            TOTAL = GOT;
    } else {
        while (TOTAL < T.BUFSIZE) {
            int32_t GOT = plat::file_read(T.HANDLE, T.BUFPTR + TOTAL,
                                          static_cast<uint32_t>(T.BUFSIZE - TOTAL), &OSERROR);
            if (GOT < 0) {
                if (OSERROR != plat::ERR_BROKEN_PIPE) ERRNO2INOUTRES(OSERROR);
                break;
            }
            if (GOT == 0) break;
            TOTAL += GOT;
        }
    }
    T.BUFEND = TOTAL;
    T.BUFPOS = 0;
    return 0;
}

int32_t FILEWRITEFUNC(TEXTREC& T) {
    int32_t TOTAL = 0;
    while (TOTAL < T.BUFPOS) {
        uint32_t OSERROR = 0;
        int32_t DONE = plat::file_write(T.HANDLE, T.BUFPTR + TOTAL,
                                        static_cast<uint32_t>(T.BUFPOS - TOTAL), &OSERROR);
        if (DONE < 0) {
            ERRNO2INOUTRES(OSERROR);
            break;
        }
        if (DONE == 0) break;
        TOTAL += DONE;
    }
    OPENFILE* OPEN = FIND(T);
    if (TOTAL != T.BUFPOS) {
        INOUTRES = IO_WRITE_INCOMPLETE;
        // A hand-over is all or nothing: the file is cut back to what it
        // held before, so that it never ends in a cut record.
        uint32_t OSERROR = 0;
        if (OPEN != nullptr && TOTAL > 0) plat::file_truncate(T.HANDLE, OPEN->SIZE, &OSERROR);
    } else if (OPEN != nullptr) {
        OPEN->SIZE += static_cast<uint64_t>(TOTAL);
    }
    T.BUFPOS = 0;
    return 0;
}

int32_t FILECLOSEFUNC(TEXTREC& T) {
    FORGET(T);
    if (!plat::file_is_char_device(T.HANDLE)) plat::file_close(T.HANDLE);
    T.HANDLE = UNUSEDHANDLE;
    return 0;
}

void OPENSTDIO(TEXTREC& T, int32_t MODE, intptr_t HANDLE) {
    ASSIGN(T, STR(""));
    T.HANDLE = HANDLE;
    T.MODE = MODE;
    T.CLOSEFUNC = FILECLOSEFUNC;
    if (MODE == FMINPUT) {
        T.INOUTFUNC = FILEREADFUNC;
    } else {
        T.INOUTFUNC = FILEWRITEFUNC;
        T.FLUSHFUNC = FILEWRITEFUNC;
    }
}

void WRITEOPENFILES() {
    const uint16_t PENDING = INOUTRES;
    for (const OPENFILE& SLOT : OPENFILES) {
        TEXTREC* T = SLOT.T;
        if (T == nullptr || T->MODE != FMOUTPUT || T->INOUTFUNC != FILEWRITEFUNC) continue;
        if (T->BUFPOS > 0) FILEWRITEFUNC(*T);
    }
    INOUTRES = PENDING;
}

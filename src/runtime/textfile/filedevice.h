// The file device: named disk files and already-open OS handles.
#pragma once
#include "runtime/textfile/textfile.h"

int32_t FILEOPENFUNC(TEXTREC& T);
int32_t FILEREADFUNC(TEXTREC& T);
int32_t FILEWRITEFUNC(TEXTREC& T);
int32_t FILECLOSEFUNC(TEXTREC& T);

// Records an OS error number in INOUTRES by the channel's mapping.
void ERRNO2INOUTRES(uint32_t OSERROR);

// Binds T to an OS handle that is already open, for reading or writing.
void OPENSTDIO(TEXTREC& T, int32_t MODE, intptr_t HANDLE);

// Hands the buffered bytes of every disk file still open for writing to the
// OS. Used when the process ends abnormally, so that whole solutions already
// handed to a channel are not lost; the result of each write is ignored.
void WRITEOPENFILES();

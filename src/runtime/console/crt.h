// The console device: screen side.
#pragma once
#include "runtime/textfile/textrec.h"

// Module start-up: takes OUTPUT and INPUT over for the console.
void CRTINIT();

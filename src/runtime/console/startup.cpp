#include "runtime/console/crt.h"

void CRTINIT() {}

// The two text conversions: decimal text of an integer, unsigned number from text.
#pragma once
#include "runtime/textfile/textfile.h"

// The base of the numbers people type and read.
constexpr int32_t DECIMAL = 10;

void INT_STR(int32_t VALUE, COUNTEDSTRING& TARGET);

uint32_t VALUNSIGNEDINT(const COUNTEDSTRING& TEXT, int32_t& CODE);

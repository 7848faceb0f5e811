// The base of the numbers people type and read: key sequences, sizes
// from the environment, key codes, the text of integers.
#pragma once
#include <cstdint>

inline constexpr int32_t DECIMAL = 10;

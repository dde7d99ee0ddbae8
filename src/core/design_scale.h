#pragma once

#include <cstdint>

// The layouts' sizes are for a screen whose text height of "0" in the
// 11-pixel Tahoma is kDesignTextHeight; other screens scale them.
namespace core {

constexpr std::int32_t kDesignTextHeight = 13;

// value * measured / design rounded to the nearest integer, halves away
// from zero (as MulDiv does). Negative values such as font heights scale
// the same way. A zero `design` leaves the value as it is.
std::int32_t ScaleDesignValue(std::int32_t value, std::int32_t measured, std::int32_t design = kDesignTextHeight);

}  // namespace core

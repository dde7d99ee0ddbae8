#include "core/design_scale.h"

#include "core/geometry.h"

namespace core {

std::int32_t ScaleDesignValue(std::int32_t value, std::int32_t measured, std::int32_t design) {
  if (design == 0) return value;
  const std::int64_t product = std::int64_t{value} * measured;
  std::int64_t quotient = product / design;
  const std::int64_t remainder = product % design;
  const std::int64_t abs_rem = remainder < 0 ? -remainder : remainder;
  const std::int64_t abs_design = design < 0 ? -std::int64_t{design} : design;
  if (2 * abs_rem >= abs_design) quotient += (product < 0) != (design < 0) ? -1 : 1;
  return SaturateToInt32(quotient);
}

}  // namespace core

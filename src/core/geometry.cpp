#include "core/geometry.h"

#include <ostream>

namespace core {

std::ostream& operator<<(std::ostream& os, Point p) {
    return os << '(' << p.x << ", " << p.y << ')';
}

std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << '(' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ')';
}

}  // namespace core

#pragma once

namespace platform {

// Sizes are designed at 96 dots per inch; a window at another density scales
// them by dpi/96, rounded as MulDiv does (half away from zero).
constexpr int ScaleToDpi(int value, int dpi) {
    const long long p = static_cast<long long>(value) * dpi;
    return static_cast<int>(p >= 0 ? (p + 48) / 96 : -((-p + 48) / 96));
}

} // namespace platform

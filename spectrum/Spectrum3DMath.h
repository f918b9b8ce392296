// Checked arithmetic for the display's geometry and captions. Hardware
// floating-point traps are never enabled, so where a division by zero or an
// invalid operation must stop a frame, these helpers check and throw; the
// frame's own handler then reports it. Pure; any thread.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace hg {

// Base of the errors a frame's arithmetic can raise.
class EMathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};

class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};

// a / b, throwing EZeroDivide when b is zero.
inline long double CheckedDiv(long double a, long double b)
{
    if (b == 0.0L)
        throw EZeroDivide();
    return a / b;
}

// v cut toward zero into a 32-bit integer; EInvalidOp when v is not a
// number, infinite, or outside the 32-bit range.
inline int32_t CheckedTrunc(long double v)
{
    if (!(v > -2147483649.0L && v < 2147483648.0L))
        throw EInvalidOp();
    return static_cast<int32_t>(v);
}

} // namespace hg

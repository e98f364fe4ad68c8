#pragma once

#include <string>

namespace dpt {

// The shortest decimal that reads back as `value`, in plain positional form (never an
// exponent) and independent of the locale: 0.5, 2, 0.0000001. Times in the machine-read
// formats use it. A value that is not finite, which no duration should be, comes out as 0.
std::string plain_decimal(double value);

}  // namespace dpt

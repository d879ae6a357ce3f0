// Number conversion of the R-tree engine's reader: every coordinate, flag and layer number
// passes through single precision.
#pragma once

#include <string>

// The longest leading part of `token` that forms a floating-point number (decimal with optional
// point and exponent, hexadecimal, or infinity or NaN spelled out, as std::strtof reads them in
// the C locale), rounded to the nearest single-precision value and widened; the rest of the
// token is ignored ("12abc" reads 12). Throws std::invalid_argument when the token does not begin
// with a number (leading white space included) and std::out_of_range when the value overflows
// single precision or underflows it (a nonzero result too small for a normal float and inexact).
double readSinglePrecision(const std::string& token);

// Assertion for programmer errors (never for bad input).
#pragma once

namespace utils {

// When `condition` is false: writes "Assertion failure: " and the printf-formatted message to
// standard error, ends the line and aborts the process. Otherwise does nothing.
void assertOrAbort(bool condition, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace utils

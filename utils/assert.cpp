#include "utils/assert.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace utils {

void assertOrAbort(bool condition, const char* format, ...) {
  if (condition) return;
  std::cerr << "Assertion failure: " << std::flush;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::cerr << std::endl;
  std::abort();
}

}  // namespace utils

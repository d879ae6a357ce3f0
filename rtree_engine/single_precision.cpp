#include "rtree_engine/single_precision.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

double readSinglePrecision(const std::string& token) {
  const char* begin = token.c_str();
  if (token.empty() || std::isspace(static_cast<unsigned char>(token[0])))
    throw std::invalid_argument("does not begin with a number");
  char* end = nullptr;
  errno = 0;
  const float value = std::strtof(begin, &end);
  if (end == begin) throw std::invalid_argument("does not begin with a number");
  if (errno == ERANGE) throw std::out_of_range("lies outside the single-precision range");
  return static_cast<double>(value);
}

#include "rtree_engine/rtree_engine.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "rtree_engine/single_precision.h"

RtreeExposureEngine::RtreeExposureEngine(std::string cellFile, std::string netFile, double eps)
    : cellFile(std::move(cellFile)), netFile(std::move(netFile)), eps(eps) {}

int32_t RtreeExposureEngine::layerNumber(std::string token) {
  std::string digits;
  std::copy_if(token.begin(), token.end(), std::back_inserter(digits),
               [](char c) { return c >= '0' && c <= '9'; });
  const double value = readSinglePrecision(digits);
  if (!(value < 2147483648.0)) throw std::out_of_range("does not fit a 32-bit layer number");
  return static_cast<int32_t>(value);
}

#include "rtree_engine/record_reader.h"

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "rtree_engine/single_precision.h"

namespace {

std::string exceeds(const char* axis, double min, double max) {
  std::ostringstream text;
  text << "min " << axis << " " << min << " exceeds max " << axis << " " << max;
  return text.str();
}

}  // namespace

RecordReader::RecordReader(std::string kind, std::string path, size_t tokensPerRecord)
    : kind_(std::move(kind)), path_(std::move(path)), reader_(path_), tokens_(tokensPerRecord) {}

void RecordReader::requireOpen() const {
  if (!reader_.isOpen())
    throw RtreeInputError(kind_ + " " + path_ + ": cannot be opened for reading");
}

bool RecordReader::next() {
  ++record_;
  size_t count = 0;
  while (count < tokens_.size() && reader_.next(tokens_[count])) ++count;
  if (reader_.readFailed()) throw error("reading the file failed");
  if (count == 0) return false;
  if (count < tokens_.size()) {
    throw error("the file ends after " + std::to_string(count) + " of the record's " +
                std::to_string(tokens_.size()) + " tokens");
  }
  return true;
}

double RecordReader::number(size_t n) const {
  try {
    return readSinglePrecision(token(n));
  } catch (const std::logic_error& e) {  // invalid_argument or out_of_range
    throw error("token " + std::to_string(n) + " \"" + token(n) + "\" " + e.what());
  }
}

int32_t RecordReader::layer(size_t n, int32_t maxLayer) const {
  const auto fault = [&](const std::string& what) {
    return error("layer token \"" + token(n) + "\" " + what);
  };
  const auto outside = [&] {
    return fault("gives a layer number outside 1 to " + std::to_string(maxLayer));
  };
  int32_t number = 0;
  try {
    number = RtreeExposureEngine::layerNumber(token(n));
  } catch (const std::invalid_argument&) {
    throw fault("holds no digit");
  } catch (const std::out_of_range&) {
    throw outside();
  }
  if (number < 1 || number > maxLayer) throw outside();
  return number;
}

double RecordReader::coordinate(size_t n) const {
  const double value = number(n);
  if (!std::isfinite(value))
    throw error("token " + std::to_string(n) + " \"" + token(n) + "\" is not a finite number");
  return value;
}

RtreeBox RecordReader::box(size_t first) const {
  const double x1 = coordinate(first);
  const double y1 = coordinate(first + 1);
  const double x2 = coordinate(first + 2);
  const double y2 = coordinate(first + 3);
  if (x1 > x2) throw error(exceeds("x", x1, x2));
  if (y1 > y2) throw error(exceeds("y", y1, y2));
  return makeBox(x1, y1, x2, y2);
}

RtreeInputError RecordReader::error(const std::string& what) const {
  return RtreeInputError(kind_ + " " + path_ + ", record " + std::to_string(record_) + ": " +
                         what);
}

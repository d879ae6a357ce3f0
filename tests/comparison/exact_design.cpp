#include "tests/comparison/exact_design.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace {

struct LatticeRect {
  int64_t xlo, ylo, xhi, yhi;  // in units
};

class ExactDesignMaker {
 public:
  explicit ExactDesignMaker(const ExactDesignOptions& options)
      : options_(options), random_(options.seed) {}

  std::string cellLines() {
    std::string lines;
    for (int32_t c = 0; c < options_.cells; ++c)
      lines += "cell u" + std::to_string(c) + " " + coordinates(block()) + " N\n";
    return lines;
  }

  std::string netLines() {
    std::vector<std::string> lines;
    for (int32_t n = 0; n < options_.nets; ++n) {
      const bool asset = n % 2 == 0;
      const int64_t segments = draw(1, options_.maxSegments);
      for (int64_t s = 0; s < segments; ++s) {
        const int64_t layer = draw(1, options_.layers);
        const std::string metal = std::to_string(layer);
        lines.push_back("seg s" + std::to_string(n) + "_" + std::to_string(s) + " n" +
                        std::to_string(n) + " " + coordinates(s % 3 == 2 ? block() : wire()) +
                        " M" + metal + ":metal" + metal + (asset ? " 1" : " 0") + " x\n");
      }
    }
    std::shuffle(lines.begin(), lines.end(), random_);
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
  }

 private:
  int64_t draw(int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(random_);
  }

  // A rectangle of the given size at a random place inside the span.
  LatticeRect place(int64_t width, int64_t height) {
    const int64_t x = draw(0, options_.span - width);
    const int64_t y = draw(0, options_.span - height);
    return {x, y, x + width, y + height};
  }

  // Long and narrow, along x or along y.
  LatticeRect wire() {
    const int64_t length = draw(1, options_.span / 2);
    const int64_t width = draw(1, options_.span / 16);
    return draw(0, 1) == 0 ? place(length, width) : place(width, length);
  }

  LatticeRect block() { return place(draw(1, options_.span / 4), draw(1, options_.span / 4)); }

  std::string coordinates(const LatticeRect& r) const {
    std::ostringstream text;
    text.precision(17);
    text << r.xlo * options_.unit << ' ' << r.ylo * options_.unit << ' '
         << r.xhi * options_.unit << ' ' << r.yhi * options_.unit;
    return text.str();
  }

  const ExactDesignOptions& options_;
  std::mt19937_64 random_;
};

}  // namespace

void writeExactDesign(const ExactDesignOptions& options, const std::string& cellPath,
                      const std::string& netPath) {
  ExactDesignMaker maker(options);
  std::ofstream(cellPath, std::ios::binary) << maker.cellLines();
  std::ofstream(netPath, std::ios::binary) << maker.netLines();
}

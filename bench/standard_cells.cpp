#include "bench/standard_cells.h"

#include <string>

#include "bench/design_random.h"

namespace bench {
namespace {

int64_t cellSites(DesignRandom& random) {
  switch (random.pick({35, 40, 20, 5})) {
    case 0: return random.between(2, 4);
    case 1: return random.between(5, 8);
    case 2: return random.between(9, 16);
    default: return random.between(17, 32);
  }
}

}  // namespace

// Rows and sites are counted in the base core and spread by the die plan, so a larger die has
// the same cells further apart.
void writeStandardCells(const DiePlan& plan, double assetFraction, uint64_t seed,
                        DesignWriter& out) {
  DesignRandom random(seed);
  const int64_t rows = plan.baseCore() / kRowHeight;
  const int64_t sites = plan.baseCore() / kBasePitch;
  int64_t id = 0;
  std::string name;
  for (int64_t row = 0; row < rows; ++row) {
    int64_t site = 0;
    for (;;) {
      if (random.chance(0.1)) site += random.between(1, 4);
      const int64_t width = cellSites(random);
      if (site + width > sites) break;
      if (random.chance(assetFraction)) {
        const int64_t x = plan.placeOnGrid(site, kBasePitch);
        const int64_t y = plan.placeOnGrid(row, kRowHeight);
        name = "U" + std::to_string(id);
        out.addCell(name, Rect{x, y, x + width * kBasePitch, y + kRowHeight, 0});
      }
      site += width;
      ++id;
    }
  }
}

}  // namespace bench

// The standard-cell rows of a generated design: cells of 2 to 32 sites placed side by side with
// occasional gaps; a random fraction of them is written to the cell asset file.
#pragma once

#include <cstdint>

#include "bench/design_writer.h"
#include "bench/die_plan.h"

namespace bench {

// REQUIRES: 0 <= assetFraction <= 1. Cells are named U<k> by their place in the rows.
void writeStandardCells(const DiePlan& plan, double assetFraction, uint64_t seed,
                        DesignWriter& out);

}  // namespace bench

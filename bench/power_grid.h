// The power grid of a generated design: VDD and VSS rails on metal1 along every row boundary (of
// the one metal1 width on the routed grid), stripes on the two top layers across the whole core,
// and vias where stripes of one net cross. It fills the die, so it grows with the die scale. Uses
// no random draws.
#pragma once

#include <cstdint>

#include "bench/design_writer.h"
#include "bench/die_plan.h"
#include "bench/layout_rules.h"

namespace bench {

// Writes the nets VDD and VSS; returns the number of segments written.
int64_t writePowerGrid(const DiePlan& plan, const LayoutRules& rules, DesignWriter& out);

}  // namespace bench

#include "engine/records.h"

std::ostream& printBinBox(std::ostream& out, const BinBox& box) {
  return out << "[x: (" << box.xlo << ", " << box.xhi << "), y: (" << box.ylo << ", " << box.yhi
             << ")]";
}

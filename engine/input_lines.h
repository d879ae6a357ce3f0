// The two input line formats of the grid engine and their parsers.
//
// Cell asset file, one cell per line, fields separated by white space:
//   <ignored> <cell name> <x1> <y1> <x2> <y2> [anything...]
// A line that is empty or holds only white space is skipped; any other line must give the
// name and the four coordinates (doubles in layout units), else the file is refused.
//
// Net file, one metal segment per line:
//   <ignored> <segment name> <net name> <x1> <y1> <x2> <y2> <layer field> <flag> [anything...]
// The layer field is "<anything>:<layer name>", the layer name (after the first ':') being one
// of metal1 .. metal<avail_layer>. The flag is a 32-bit integer; a net is an asset net when the
// flag on its first line is 1. A net's lines need not be adjacent.
//
// (x1, y1) is stored as the low corner and (x2, y2) as the high corner, exactly as written; a
// rectangle whose x1 exceeds its x2 or y1 its y2, or whose area overflows a double, is refused.
// Fields follow the rules of engine/line_fields.h; fields after the last one above are ignored.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace engine {

// The fields of one cell line; the name views the line.
struct CellLine {
  std::string_view name;
  double xlo = 0.0;
  double ylo = 0.0;
  double xhi = 0.0;
  double yhi = 0.0;
};

enum class CellLineKind { kCell, kBlank, kBad };

// Reads fields 1 to 6. For kBad, `problem` says what is wrong, e.g.
// "x2 (field 5) is not a number: \"1e\""; the quoted field shows bytes outside printable ASCII
// as \xHH and at most 40 bytes, then " and <n> more bytes".
CellLineKind parseCellLine(std::string_view line, CellLine& cell, std::string& problem);

// The fields of one net line, viewing the line. A line stops being read at its first field
// that cannot be read: the fields after it keep the values below (an empty layer field, no
// flag). A flag that is present but not an integer reads 0.
struct NetLine {
  std::string_view segmentName;
  std::string_view netName;
  double xlo = 0.0;
  double ylo = 0.0;
  double xhi = 0.0;
  double yhi = 0.0;
  std::string_view layerField;
  bool hasFlag = false;
  int32_t flag = 0;
};

// Calls visit(line) for every line of `text`, without its line feed, until visit returns
// false. The last line needs no line feed; a line feed at the very end starts no further line.
template <typename Visit>
void forEachLine(std::string_view text, Visit&& visit) {
  while (!text.empty()) {
    const size_t feed = std::min(text.find('\n'), text.size());
    if (!visit(text.substr(0, feed))) return;
    text.remove_prefix(std::min(feed + 1, text.size()));
  }
}

// Reads fields 1 to 9 into a fresh `net`.
void parseNetLine(std::string_view line, NetLine& net);

// What is wrong with the rectangle (x1, y1)-(x2, y2) whose x1 is field `x1Field` of its line
// ("" when nothing): reversed corners, e.g. "x1 (field 3) 4 exceeds x2 (field 5) 0", or an
// area beyond the range of a double.
std::string rectangleProblem(double x1, double y1, double x2, double y2, int x1Field);

// "<fileKind> <path>, line <lineNumber>: <problem>", the form of our own input error lines.
std::string lineError(const char* fileKind, const std::string& path, uint64_t lineNumber,
                      const std::string& problem);

}  // namespace engine

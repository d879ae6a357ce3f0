#include "engine/input_lines.h"

#include "engine/line_fields.h"

namespace engine {
namespace {

// Reads one coordinate of a cell line; false with `problem` set when it cannot be read.
bool readCoordinate(LineFields& fields, const char* label, double& value, std::string& problem) {
  const FieldStatus status = fields.number(value);
  if (status == FieldStatus::kOk) return true;
  if (status == FieldStatus::kMissing) {
    problem = std::string("the line ends before ") + label;
  } else {
    const char* what = status == FieldStatus::kMalformed ? " is not a number: \""
                                                         : " does not fit a double: \"";
    problem = label + std::string(what) + std::string(fields.peek()) + "\"";
  }
  return false;
}

}  // namespace

CellLineKind parseCellLine(std::string_view line, CellLine& cell, std::string& problem) {
  LineFields fields(line);
  std::string_view ignored;
  if (fields.text(ignored) == FieldStatus::kMissing) return CellLineKind::kBlank;
  if (fields.text(cell.name) == FieldStatus::kMissing) {
    problem = "the line ends before the cell name (field 2)";
    return CellLineKind::kBad;
  }
  const bool complete = readCoordinate(fields, "x1 (field 3)", cell.xlo, problem) &&
                        readCoordinate(fields, "y1 (field 4)", cell.ylo, problem) &&
                        readCoordinate(fields, "x2 (field 5)", cell.xhi, problem) &&
                        readCoordinate(fields, "y2 (field 6)", cell.yhi, problem);
  return complete ? CellLineKind::kCell : CellLineKind::kBad;
}

void parseNetLine(std::string_view line, NetLine& net) {
  LineFields fields(line);
  std::string_view ignored;
  const bool fieldsToLayer = fields.text(ignored) == FieldStatus::kOk &&
                             fields.text(net.segmentName) == FieldStatus::kOk &&
                             fields.text(net.netName) == FieldStatus::kOk &&
                             fields.number(net.xlo) == FieldStatus::kOk &&
                             fields.number(net.ylo) == FieldStatus::kOk &&
                             fields.number(net.xhi) == FieldStatus::kOk &&
                             fields.number(net.yhi) == FieldStatus::kOk &&
                             fields.text(net.layerField) == FieldStatus::kOk;
  if (fieldsToLayer) net.hasFlag = fields.integer(net.flag) != FieldStatus::kMissing;
}

std::string lineError(const char* fileKind, const std::string& path, uint64_t lineNumber,
                      const std::string& problem) {
  return std::string(fileKind) + " " + path + ", line " + std::to_string(lineNumber) + ": " +
         problem;
}

}  // namespace engine

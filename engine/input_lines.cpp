#include "engine/input_lines.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/line_fields.h"

namespace engine {
namespace {

constexpr size_t kMaxQuotedBytes = 40;

// `text` in double quotes, readable on any terminal: a quote or backslash gets a backslash, a
// byte outside printable ASCII is written \xHH, and a text longer than kMaxQuotedBytes is cut
// there, followed by how many bytes were left out.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kMaxQuotedBytes; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') out += '\\';
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    }
  }
  out += '"';
  const size_t left = text.size() > kMaxQuotedBytes ? text.size() - kMaxQuotedBytes : 0;
  if (left > 0) out += " and " + std::to_string(left) + (left == 1 ? " more byte" : " more bytes");
  return out;
}

// Reads one coordinate of a cell line; false with `problem` set when it cannot be read.
bool readCoordinate(LineFields& fields, const char* label, double& value, std::string& problem) {
  const FieldStatus status = fields.number(value);
  if (status == FieldStatus::kOk) return true;
  if (status == FieldStatus::kMissing) {
    problem = std::string("the line ends before ") + label;
  } else {
    const char* what =
        status == FieldStatus::kMalformed ? " is not a number: " : " does not fit a double: ";
    problem = label + std::string(what) + quoted(fields.peek());
  }
  return false;
}

// The shortest text that reads back as `value`.
std::string shortest(double value) {
  char text[32];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string fieldLabel(const char* name, int field) {
  return std::string(name) + " (field " + std::to_string(field) + ")";
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
  if (!complete) return CellLineKind::kBad;
  problem = rectangleProblem(cell.xlo, cell.ylo, cell.xhi, cell.yhi, 3);
  return problem.empty() ? CellLineKind::kCell : CellLineKind::kBad;
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

std::string rectangleProblem(double x1, double y1, double x2, double y2, int x1Field) {
  if (x1 > x2)
    return fieldLabel("x1", x1Field) + " " + shortest(x1) + " exceeds " +
           fieldLabel("x2", x1Field + 2) + " " + shortest(x2);
  if (y1 > y2)
    return fieldLabel("y1", x1Field + 1) + " " + shortest(y1) + " exceeds " +
           fieldLabel("y2", x1Field + 3) + " " + shortest(y2);
  if (!std::isfinite((x2 - x1) * (y2 - y1)))
    return "the rectangle's area exceeds the range of a double";
  return std::string();
}

std::string lineError(const char* fileKind, const std::string& path, uint64_t lineNumber,
                      const std::string& problem) {
  return std::string(fileKind) + " " + path + ", line " + std::to_string(lineNumber) + ": " +
         problem;
}

}  // namespace engine

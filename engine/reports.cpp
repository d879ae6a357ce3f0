// The two report files. Numbers are doubles in the stream's default format (6 significant
// digits, general notation); percentages are the stored fractions times 100.
//
// Lines end with '\n' and go through the file stream's buffer; the stream is checked after it
// has been closed, so a report counts as written only when every line reached the file.

#include <cstdio>
#include <fstream>
#include <iostream>

#include "engine/exposure_engine.h"
#include "utils/log.h"

namespace {

void writeCellReport(const ExposureEngine& engine, std::ostream& out) {
  out << "Total exposed area across cell assets: " << engine.cellTotalExposedArea << '\n';
  out << "Max exposure [%] across cell assets: " << 100.0 * engine.cellMaxRatio << '\n';
  out << "Avg exposure [%] across cell assets: " << 100.0 * engine.cellMeanRatio << '\n';
  out << '\n';
  for (size_t i = 0; i < engine.cells.size(); ++i)
    out << "Instance: " << engine.cells[i].name
        << " angle: 0 side: N Area_Exposed: " << engine.cellExposedArea[i]
        << " Perc_Exposed: " << 100.0 * engine.cellExposedRatio[i] << '\n';
}

void writeNetReport(const ExposureEngine& engine, std::ostream& out) {
  out << "Total exposed area across net assets: " << engine.netTotalExposedArea << '\n';
  out << "Max exposure [%] across net assets: " << 100.0 * engine.netMaxRatio << '\n';
  out << "Avg exposure [%] across net assets: " << 100.0 * engine.netMeanRatio << '\n';
  out << '\n';
  out << "#NetName TotalAreaNet PercentageExposedAreaNet\n";
  for (size_t i = 0; i < engine.assetNetIds.size(); ++i)
    out << engine.nets[engine.assetNetIds[i]].name << ' ' << engine.netTotalArea[i] << ' '
        << 100.0 * engine.netExposedRatio[i] << '\n';
}

// Writes one report under `path`, replacing any earlier file; false (after an Error line) when
// the file could not be created or not every line reached it, in which case no file is left.
template <typename Write>
bool writeReport(const std::string& heading, const std::string& path, const Write& write) {
  utils::logInfo(std::cout) << heading << path << std::endl;
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  const bool created = out.is_open();
  write(out);
  out.close();
  if (out.fail()) {
    // A report cut short (a full disk) must not stay behind looking complete.
    if (created) std::remove(path.c_str());
    utils::logAt(5, std::cout) << "Cannot write report " << path << std::endl;
    return false;
  }
  utils::logInfo(std::cout) << "Finish writing " << path << std::endl;
  return true;
}

}  // namespace

bool ExposureEngine::writeReports(std::string bmName) {
  const std::string cellPath = bmName + "_cells_ea.rpt";
  const std::string netPath = bmName + "_nets_ea.rpt";
  const bool cellsWritten = writeReport("Writing Cell Report ", cellPath,
                                        [&](std::ostream& out) { writeCellReport(*this, out); });
  const bool netsWritten = writeReport("Writing Net Report ", netPath,
                                       [&](std::ostream& out) { writeNetReport(*this, out); });
  return cellsWritten && netsWritten;
}

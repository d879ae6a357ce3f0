// RtreeExposureEngine::writeReports: a four-line block per cell or asset net, then the totals.
#include <fstream>
#include <string>
#include <vector>

#include "rtree_engine/rtree_engine.h"

namespace {

// What a report says about one item: its exposed area out of its area.
struct ReportItem {
  const std::string& name;
  double exposedArea;
  double area;
};

std::ofstream openReport(const std::string& path) {
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (!file.is_open()) throw RtreeInputError("Report file " + path + ": cannot be created");
  return file;
}

// Every line ends in a line feed and a flush.
void writeReport(std::ostream& out, const std::vector<ReportItem>& items, const char* heading) {
  double total = 0.0;
  double sumPercent = 0.0;
  double maxPercent = 0.0;
  for (const ReportItem& item : items) {
    const double percent = item.exposedArea * 100 / item.area;
    out << item.name << std::endl;
    out << "Exposed area: " << item.exposedArea << std::endl;
    out << "Exposed area percentage: " << percent << "%" << std::endl;
    out << std::endl;
    total += item.exposedArea;
    sumPercent += percent;
    if (percent > maxPercent) maxPercent = percent;
  }
  const double meanPercent = sumPercent / static_cast<double>(items.size());
  out << heading << std::endl;
  out << "Total exposed area: " << total << std::endl;
  out << "Max area percentage: " << maxPercent << "%" << std::endl;
  out << "Avg area percentage: " << meanPercent << "%" << std::endl;
  out << std::endl;
}

void finishReport(std::ofstream& file, const std::string& path) {
  file.close();
  if (file.fail()) throw RtreeInputError("Report file " + path + ": could not be written");
}

}  // namespace

void RtreeExposureEngine::writeReports(const std::string& bmName) const {
  const std::string cellPath = "my_cell_ea_" + bmName + ".rpt";
  const std::string netPath = "my_net_ea_" + bmName + ".rpt";
  std::ofstream cellReport = openReport(cellPath);
  std::ofstream netReport = openReport(netPath);
  std::vector<ReportItem> cellItems;
  for (const auto& cell : cells) cellItems.push_back({cell->name, cell->exposedArea, cell->area});
  writeReport(cellReport, cellItems, "For all cell assets: ");
  finishReport(cellReport, cellPath);
  std::vector<ReportItem> netItems;
  for (const auto& net : nets)
    netItems.push_back({net->name, net->exposedArea, net->projectionArea});
  writeReport(netReport, netItems, "For all net assets: ");
  finishReport(netReport, netPath);
}

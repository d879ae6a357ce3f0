// The two report files. Numbers are doubles in the stream's default format (6 significant
// digits, general notation); percentages are the stored fractions times 100.
//
// Lines end with '\n' and go through the file stream's buffer; the stream is checked after it
// has been closed, so a report counts as written only when every line reached the file. A report
// on a memory file system takes memory that the kernel cannot reclaim: its size is checked
// against the memory left before it is written, and it may not grow beyond that while it is.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <streambuf>
#include <string>

#include "engine/exposure_engine.h"
#include "utils/file_system.h"
#include "utils/log.h"
#include "utils/memory.h"

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

// A stream buffer that only counts the bytes written to it.
class ByteCounter : public std::streambuf {
 public:
  uint64_t bytes() const { return bytes_; }

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) ++bytes_;
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    bytes_ += static_cast<uint64_t>(count);
    return count;
  }

 private:
  uint64_t bytes_ = 0;
};

// What a report that `write` writes takes on a memory file system: its bytes in whole pages.
template <typename Write>
uint64_t memoryFileBytes(const Write& write) {
  constexpr uint64_t kPageBytes = 4096;
  ByteCounter counter;
  std::ostream out(&counter);
  write(out);
  return (counter.bytes() + kPageBytes - 1) / kPageBytes * kPageBytes;
}

// The Error text when a report that `write` writes to a memory file system does not fit in what
// `memoryProbe` says is left; empty when it fits.
template <typename Write>
std::string reportMemoryError(const std::string& path, const Write& write,
                              const utils::MemoryProbe& memoryProbe) {
  const uint64_t bytes = memoryFileBytes(write);
  const std::optional<utils::AvailableMemory> available = utils::shortOf(bytes, memoryProbe);
  if (!available) return std::string();
  return utils::shortfallError("Cannot write report " + path, bytes, *available);
}

// Writes the report in `out` and closes it. On a memory file system no file may grow beyond the
// room that `fileRoom` says is left meanwhile, so that a report that outgrows it fails as on a
// full disk rather than the process being killed.
template <typename Write>
void writeAndClose(std::ofstream& out, bool inMemory, const utils::MemoryProbe& fileRoom,
                   const Write& write) {
  std::optional<utils::FileSizeLimit> limit;
  if (inMemory && fileRoom) limit.emplace(fileRoom().bytes);
  write(out);
  out.close();
}

// Writes one report under `path`, replacing any earlier file; false (after an Error line) when
// the file could not be created, would not fit in the memory left on a memory file system, or
// not every line reached it, in which case no file is left.
template <typename Write>
bool writeReport(const ExposureEngine& engine, const std::string& heading,
                 const std::string& path, const Write& write) {
  utils::logInfo(std::cout) << heading << path << std::endl;
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  const bool created = out.is_open();
  const bool inMemory = created && engine.onMemoryFileSystem && engine.onMemoryFileSystem(path);
  const std::string memoryError =
      inMemory ? reportMemoryError(path, write, engine.memoryProbe) : std::string();
  if (memoryError.empty()) writeAndClose(out, inMemory, engine.fileRoomProbe, write);
  if (!memoryError.empty() || out.fail()) {
    // A report cut short (a full disk) must not stay behind looking complete.
    if (created) std::remove(path.c_str());
    if (memoryError.empty())
      utils::logAt(5, std::cout) << "Cannot write report " << path << std::endl;
    else
      utils::logAt(5, std::cout) << memoryError << std::endl;
    return false;
  }
  utils::logInfo(std::cout) << "Finish writing " << path << std::endl;
  return true;
}

}  // namespace

bool ExposureEngine::writeReports(std::string bmName) {
  const std::string cellPath = bmName + "_cells_ea.rpt";
  const std::string netPath = bmName + "_nets_ea.rpt";
  const bool cellsWritten = writeReport(*this, "Writing Cell Report ", cellPath,
                                        [&](std::ostream& out) { writeCellReport(*this, out); });
  const bool netsWritten = writeReport(*this, "Writing Net Report ", netPath,
                                       [&](std::ostream& out) { writeNetReport(*this, out); });
  return cellsWritten && netsWritten;
}

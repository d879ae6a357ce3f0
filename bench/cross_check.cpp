// Reads one design with both engines, writes both engines' reports in the working directory and
// compares their results cell by cell and asset net by asset net.
//
//   cross_check --bm_name NAME --cell_file CELLS --net_file NETS [--avail_layer N] [--eps E]
//               [--tolerance T] [--threads N]
//
// Exit status: 0 when every exposed area, area and percentage agrees within the relative
// tolerance (default 1e-6) and every report was written; 1 when something differs, a report
// could not be written or the input was refused; 2 for a bad command line.
#include <boost/program_options.hpp>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "comparison/engine_results.h"
#include "comparison/result_comparison.h"
#include "comparison/two_engine_run.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace po = boost::program_options;

namespace {

struct Arguments {
  DesignInput design;
  std::string bmName;
  double tolerance = 1e-6;
};

po::options_description declareOptions(Arguments& args) {
  po::options_description options("cross_check options");
  options.add_options()
      ("bm_name", po::value(&args.bmName)->required(), "benchmark name, prefix of the reports")
      ("cell_file", po::value(&args.design.cellFile)->required(), "cell asset file")
      ("net_file", po::value(&args.design.netFile)->required(), "net file")
      ("avail_layer", po::value(&args.design.availLayer)->default_value(args.design.availLayer),
       "metal layers of the grid engine, 1 to 128")
      ("eps", po::value(&args.design.eps)->default_value(args.design.eps),
       "tolerance of the R-tree engine")
      ("tolerance", po::value(&args.tolerance)->default_value(args.tolerance),
       "largest relative difference taken as agreement")
      ("threads", po::value(&args.design.threads)->default_value(8),
       "threads of the grid engine");
  return options;
}

[[noreturn]] void usage(const std::string& problem, const po::options_description& options) {
  std::cerr << "cross_check: " << problem << "\n" << options;
  std::exit(2);
}

Arguments parse(int argc, char** argv) {
  Arguments args;
  const po::options_description options = declareOptions(args);
  try {
    po::variables_map values;
    po::store(po::parse_command_line(argc, argv, options), values);
    po::notify(values);
  } catch (const po::error& error) {
    usage(error.what(), options);
  }
  if (args.design.availLayer < 1 || args.design.availLayer > 128)
    usage("--avail_layer must be between 1 and 128", options);
  if (!(args.design.eps >= 0) || std::isinf(args.design.eps))
    usage("--eps must be a finite number, not negative", options);
  if (!(args.tolerance >= 0)) usage("--tolerance must not be negative", options);
  return args;
}

// Both engines' reports; false (after an Error line) when one could not be written.
bool writeReports(TwoEngineRun& run, const std::string& bmName) {
  bool written = run.grid.writeReports(bmName);
  try {
    run.rtree.writeReports(bmName);
  } catch (const RtreeInputError& error) {
    utils::logAt(5, std::cout) << error.what() << std::endl;
    written = false;
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = parse(argc, argv);
  TwoEngineRun run(args.design);
  try {
    run.measure();
  } catch (const RtreeInputError& error) {
    utils::fatalError(error.what());
  } catch (const utils::MemoryShortfallError& error) {
    utils::fatalError(error.what());
  }
  const bool written = writeReports(run, args.bmName);
  const Comparison comparison =
      compareResults(gridEngineResults(run.grid), rtreeEngineResults(run.rtree), args.tolerance);
  printComparison(std::cout, comparison, args.tolerance);
  return comparison.agrees() && written ? 0 : 1;
}

#include "app/run_driver.h"

#include <omp.h>

#include <algorithm>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "app/data_limit.h"
#include "app/thread_memory.h"
#include "engine/exposure_engine.h"
#include "utils/log.h"
#include "utils/memory.h"

namespace po = boost::program_options;

namespace app {
namespace {

constexpr int32_t kMaxLayers = 128;    // layer indices must fit a signed byte
constexpr int32_t kMaxThreads = 1024;  // beyond it the OpenMP runtime fails on its own

void printBanner(const std::string& rule, const std::string& title) {
  for (const std::string& text : {rule, title, rule}) {
    utils::logInfo(std::cout);
    printLine(text.c_str());
  }
}

void printStartBanner() {
  std::string title = std::string(20, ' ') + "Quorvane";
  title.resize(78, ' ');
  printBanner(std::string(78, '-'), title);
}

void printClosingBanner() {
  printBanner(std::string(75, '-'), std::string(31, ' ') + "Terminated..." + std::string(31, ' '));
}

void printValue(const boost::any& value) {
  if (const double* d = boost::any_cast<double>(&value)) {
    std::cout << *d;
  } else if (const int32_t* i = boost::any_cast<int32_t>(&value)) {
    std::cout << *i;
  } else if (const std::string* s = boost::any_cast<std::string>(&value)) {
    std::cout << *s;
  } else if (const bool* b = boost::any_cast<bool>(&value)) {
    std::cout << (*b ? 1 : 0);
  } else {
    std::cout << "unresolved type";
  }
}

int32_t layerCount(const po::variables_map& values, const std::string& bmName) {
  if (values.count("avail_layer")) return values["avail_layer"].as<int32_t>();
  return bmName.find("AES") != std::string::npos ? 10 : 6;
}

void printMemoryLine() {
  utils::logInfo(std::cout) << "MEM: cur=";
  std::cout << utils::currentMemoryMB() << "MB, peak=";
  std::cout << utils::peakMemoryMB() << "MB" << std::endl;
  utils::logInfo(std::cout) << std::endl;
}

}  // namespace

void printLine(const char* text) { std::cout << text << ' ' << std::endl; }

po::options_description declareOptions() {
  po::options_description options("Options");
  options.add_options()
      ("bm_name", po::value<std::string>()->required(), "Benchmark Name")
      ("cell_file", po::value<std::string>()->required(), "Cell assets Info")
      ("net_file", po::value<std::string>()->required(), "Net routing info")
      ("avail_layer", po::value<int32_t>(), "Available routing layer in this design")
      ("threads", po::value<int32_t>()->default_value(8), "Multi-threading");
  return options;
}

void echoOptions(const po::options_description& options, const po::variables_map& values) {
  for (const auto& option : options.options()) {
    const std::string& name = option->long_name();
    if (!values.count(name)) continue;
    const std::string& description =
        option->description().empty() ? name : option->description();
    utils::logInfo(std::cout) << std::left;
    std::cout.width(18);
    std::cout << description << ": ";
    printValue(values[name].value());
    std::cout << std::endl;
  }
}

// Runs one step of the engine; memory that cannot be had ends the run with an Error line: the
// step's own, with the bytes, when a check found it short, else one that names the step.
template <typename Step>
void runStep(const char* name, const Step& step) {
  try {
    step();
  } catch (const utils::MemoryShortfallError& shortfall) {
    utils::fatalError(shortfall.what());
  } catch (const std::bad_alloc&) {
    utils::fatalError("Cannot allocate memory for ", name);
  }
}

// Starts the OpenMP workers, which the later loops reuse, when the limits leave room for them,
// and then keeps the process within the room of its control group: the workers' stacks are
// mapped by then and count as data.
void startThreadsWithinMemoryLimit(int32_t threads) {
  threads = std::max(threads, 1);
  runStep("the threads", [&] { requireThreadMemory(threads); });
  omp_set_num_threads(threads);
  std::vector<char> started(omp_get_max_threads());  // a region with work, so that it runs
#pragma omp parallel
  started[omp_get_thread_num()] = 1;
  limitDataToControlGroup();
}

bool runEngine(const po::variables_map& values) {
  RunConfig config;
  config.bm_name = values["bm_name"].as<std::string>();
  config.cell_file = values["cell_file"].as<std::string>();
  config.net_file = values["net_file"].as<std::string>();
  config.threads = values["threads"].as<int32_t>();
  if (config.threads > kMaxThreads)
    utils::fatalError("The number of threads must be at most 1024, got " +
                      std::to_string(config.threads));
  const uint64_t userDataLimit = softDataLimit();
  startThreadsWithinMemoryLimit(config.threads);
  config.avail_layer = layerCount(values, config.bm_name);
  if (config.avail_layer < 1 || config.avail_layer > kMaxLayers)
    utils::fatalError("Available routing layer must be between 1 and 128, got " +
                      std::to_string(config.avail_layer));

  ExposureEngine engine(&config);
  engine.memoryProbe = memoryLeftRaisingDataLimit(userDataLimit);
  bool reportsWritten = false;
  runStep("reading the design", [&] { engine.parseInputs(); });
  runStep("the discretization", [&] { engine.discretize(); });
  engine.keepExposedBins = false;  // the reports need only the areas
  runStep("the exposure calculation", [&] { engine.calcExposure(); });
  runStep("the reports", [&] { reportsWritten = engine.writeReports(config.bm_name); });
  printMemoryLine();
  return reportsWritten;
}

int runMain(int argc, const char* const* argv) {
  printStartBanner();
  int status = 0;
  try {
    const po::options_description options = declareOptions();
    po::variables_map values;
    po::store(po::command_line_parser(argc, argv)
                  .options(options)
                  .style(po::command_line_style::unix_style |
                         po::command_line_style::allow_long_disguise)
                  .run(),
              values);
    po::notify(values);
    echoOptions(options, values);
    status = runEngine(values) ? 0 : 1;
  } catch (const po::error& error) {
    utils::logInfo(std::cout);
    printLine(error.what());
    status = 1;
  }
  printClosingBanner();
  return status;
}

}  // namespace app

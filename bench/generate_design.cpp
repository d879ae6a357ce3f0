// Writes a seeded, deterministic design that looks like a routed layout, for the benchmarks.
//
//   generate_design --size S|M|L|XL|R [--segments N] [--seed N] [--die-scale X] [--layers N]
//                   [--asset-cells F] [--asset-nets F] [--out-dir DIR] [--name NAME] [--stats]
//
// writes DIR/NAME_cells.txt and DIR/NAME_nets.txt (run the program with --avail_layer N) and one
// summary line; --stats adds the distinct x and y edges the program will find. R is L on a routed
// grid: integer nm, one width per layer, wire ends on the crossing layer's tracks.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/design_generator.h"
#include "bench/design_writer.h"
#include "bench/die_plan.h"

namespace {

struct Arguments {
  bench::DesignOptions design;
  std::string size = "S";
  std::string outDir = ".";
  std::string name;
  bool stats = false;
};

[[noreturn]] void usage(const std::string& problem) {
  std::fprintf(stderr,
               "generate_design: %s\nusage: generate_design --size S|M|L|XL|R [--segments N] "
               "[--seed N] [--die-scale X] [--layers N] [--asset-cells F] [--asset-nets F] "
               "[--out-dir DIR] [--name NAME] [--stats]\n",
               problem.c_str());
  std::exit(2);
}

double number(const std::string& option, const char* text, double lo, double hi) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= lo && value <= hi)) {
    usage(option + " needs a number from " + std::to_string(lo) + " to " + std::to_string(hi));
  }
  return value;
}

void applyOption(Arguments& args, const std::string& option, const char* value) {
  bench::DesignOptions& d = args.design;
  if (option == "--size") {
    args.size = value;
    if (!bench::applySize(value, d)) usage("unknown size " + args.size);
  } else if (option == "--segments") {
    d.targetSegments = static_cast<int64_t>(number(option, value, 100, 1e9));
  } else if (option == "--seed") {
    d.seed = static_cast<uint64_t>(number(option, value, 0, 1e15));
  } else if (option == "--die-scale") {
    d.dieScale = number(option, value, 1, 64);
  } else if (option == "--layers") {
    d.layers = static_cast<int>(number(option, value, 6, 128));
  } else if (option == "--asset-cells") {
    d.assetCellFraction = number(option, value, 0, 1);
  } else if (option == "--asset-nets") {
    d.assetNetFraction = number(option, value, 0, 1);
  } else if (option == "--out-dir") {
    args.outDir = value;
  } else if (option == "--name") {
    args.name = value;
  } else {
    usage("unknown option " + option);
  }
}

Arguments parse(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--stats") {
      args.stats = true;
    } else if (i + 1 < argc) {
      applyOption(args, option, argv[++i]);
    } else {
      usage(option + " needs a value");
    }
  }
  if (args.name.empty()) args.name = args.size;
  return args;
}

double megabytes(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? static_cast<double>(info.st_size) / (1 << 20) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
  const Arguments args = parse(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  const std::string cellPath = args.outDir + "/" + args.name + "_cells.txt";
  const std::string netPath = args.outDir + "/" + args.name + "_nets.txt";
  bench::DesignWriter out(cellPath, netPath, args.design.layers, args.stats);
  if (!out.ok()) usage("cannot create " + cellPath + " or " + netPath);
  bench::generateDesign(args.design, out);
  if (!out.finish()) usage("failed writing " + cellPath + " or " + netPath);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const bench::DesignCounts& c = out.counts();
  const bench::DiePlan plan(bench::baseDieSide(args.design.targetSegments), args.design.dieScale);
  const double dieSide = static_cast<double>(plan.dieSide());
  std::printf("%s: die %.3f um, %lld segments, %lld nets (%lld asset nets), %lld asset cells, "
              "nets %.1f MB, cells %.1f MB, %.2f s\n",
              args.name.c_str(),
              dieSide / 1000.0,
              static_cast<long long>(c.segments), static_cast<long long>(c.nets),
              static_cast<long long>(c.assetNets), static_cast<long long>(c.cells),
              megabytes(netPath), megabytes(cellPath), seconds);
  if (args.stats) {
    std::printf("%s: distinct edges x %lld, y %lld\n", args.name.c_str(),
                static_cast<long long>(c.distinctX), static_cast<long long>(c.distinctY));
  }
  return 0;
}

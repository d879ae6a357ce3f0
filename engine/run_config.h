// The configuration of one run, filled by the run driver and read by the engine.
#pragma once

#include <cstdint>
#include <string>

struct RunConfig {
  std::string bm_name;      // benchmark name; prefix of the report file names
  std::string cell_file;    // path of the cell asset file
  std::string net_file;     // path of the net file
  int32_t avail_layer = 6;  // number of metal layers (metal1 .. metal<avail_layer>)
  int32_t threads = 1;      // OpenMP threads of the exposure loops (below 1 means 1)
};

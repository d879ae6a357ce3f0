// The program's front end: banners, options and the run of the grid engine.
#pragma once

#include <boost/program_options.hpp>

namespace app {

// Writes `text`, one blank and a flushed end-of-line to standard output; the caller has begun
// the line with utils::logInfo.
void printLine(const char* text);

// The five options under the caption "Options".
boost::program_options::options_description declareOptions();

// One line per option that has a value: its description padded to 18 characters, ": ", value.
void echoOptions(const boost::program_options::options_description& options,
                 const boost::program_options::variables_map& values);

// Runs the grid engine on the parsed options. Returns false when the run finished but a report
// could not be written; bad input ends the process with status 1 instead of returning.
bool runEngine(const boost::program_options::variables_map& values);

// The whole program: banners, options, run. Returns the exit status.
int runMain(int argc, const char* const* argv);

}  // namespace app

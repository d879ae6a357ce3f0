// Timestamped, levelled log lines on an output stream.
//
// Every line begins with "[", the seconds since program start (fixed, 3 decimals, width 8) and
// "] ". The getters write only that beginning; the caller inserts its text and ends the line with
// std::endl. Stateless and lock-free: callable from any thread, though lines begun on one stream
// from several threads at once may interleave.
#pragma once

#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace utils {

// Level of a log line: below 2 is discarded, 2 and above 7 are plain, 3 Notice, 4 Warning,
// 5 Error, 6 fatal, 7 OK.
using LogLevel = int32_t;

// A stream buffer that accepts nothing; a stream on it fails silently at its first write.
class NoStreamBuf : public std::basic_streambuf<char> {
 public:
  ~NoStreamBuf() override = default;
};

// Start instant of the program: system-clock nanoseconds, set before main runs.
extern const int64_t programStart;
// The stream that swallows lines of suppressed levels.
extern std::ostream nullStream;

// Writes the timestamp prefix for the time elapsed since `start` (system-clock nanoseconds).
std::ostream& writeTimestamp(std::ostream& out, const int64_t& start);

// Begins a plain line on `out`.
std::ostream& logInfo(std::ostream& out);

// Begins a line of `level` on `out`, without taking memory; returns the stream to go on
// writing to (nullStream for levels below 2).
std::ostream& logAt(LogLevel level, std::ostream& out);

// The coloured prefix of levels 3 to 7 (ANSI escapes included); empty for any other level.
std::string levelPrefix(LogLevel level);

// The one exit for bad input: writes `message` and `more` as one Error line on standard output
// and ends the process with status 1. Takes no memory on the way, so that it can also say that
// memory ran out.
[[noreturn]] void fatalError(std::string_view message, std::string_view more = {});

}  // namespace utils

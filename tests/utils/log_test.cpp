#include "utils/log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <ostream>
#include <regex>
#include <streambuf>
#include <string>

// Every allocation of this test binary goes through here, counted while `counting` is set.
namespace {
bool counting = false;
int allocations = 0;
}  // namespace

// The replaced operator new takes from malloc, so free is its match (GCC cannot see that).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t bytes) {
  if (counting) ++allocations;
  if (void* memory = std::malloc(bytes == 0 ? 1 : bytes)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

// A stream into a fixed buffer: writing to it takes no memory of its own.
class FixedBuffer : public std::streambuf {
 public:
  FixedBuffer() { setp(text_, text_ + sizeof text_); }
  std::string text() const { return std::string(pbase(), pptr()); }

 private:
  char text_[256];
};

// The line that says memory ran out must not need memory itself.
TEST(LogTest, AnErrorLineTakesNoMemory) {
  FixedBuffer buffer;
  std::ostream out(&buffer);
  counting = true;
  utils::logAt(5, out) << "Cannot allocate memory for " << "the reports";
  utils::logInfo(out) << "plain";
  counting = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(std::regex_match(
      buffer.text(), std::regex("\\[ {3}[0-9]\\.[0-9]{3}\\] \x1b\\[1;31mError\x1b\\[0m: Cannot "
                                "allocate memory for the reports\\[ {3}[0-9]\\.[0-9]{3}\\] plain")))
      << buffer.text();
}

TEST(LogTest, LevelPrefixesAreTheColouredLabels) {
  EXPECT_EQ(utils::levelPrefix(4), "\x1b[1;93mWarning\x1b[0m: ");
  EXPECT_EQ(utils::levelPrefix(6), "\x1b[1;41;97m F A T A L \x1b[0m: ");
  for (const utils::LogLevel plain : {-1, 0, 2, 8}) EXPECT_EQ(utils::levelPrefix(plain), "");
}

}  // namespace

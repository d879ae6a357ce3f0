// A 64-bit hash of a text, to tell whether two readings of the same bytes of a file gave the
// same text: equal texts hash alike, and texts that differ hash alike by chance (about one in
// 2^64). Not for hash tables keyed by untrusted text. May be called from a parallel loop.
#pragma once

#include <cstdint>
#include <string_view>

namespace utils {

uint64_t textHash(std::string_view text);

}  // namespace utils

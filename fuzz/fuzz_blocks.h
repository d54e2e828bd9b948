#pragma once
// Network input arrives in blocks cut anywhere: the fuzz targets take their first two
// bytes as the places where the rest is cut into three blocks.

#include <cstddef>
#include <cstdint>

namespace corvane::fuzz {

// Calls feed(bytes, count) three times over data[skip..]; false when the input is too short.
template <typename Feed>
bool FeedInBlocks(const std::uint8_t* data, std::size_t size, std::size_t skip, Feed&& feed) {
  if (size < skip || skip < 2) return false;
  const std::size_t body = size - skip;
  const std::size_t cut1 = body ? data[0] % (body + 1) : 0;
  const std::size_t cut2 = cut1 + (body - cut1 ? data[1] % (body - cut1 + 1) : 0);
  const std::uint8_t* p = data + skip;
  feed(p, static_cast<int>(cut1));
  feed(p + cut1, static_cast<int>(cut2 - cut1));
  feed(p + cut2, static_cast<int>(body - cut2));
  return true;
}

}  // namespace corvane::fuzz

// The member-list icons drawn at build time: all 67 files, each a 32 x 32 24-bit BMP, no two
// alike, each also drawn at 64 x 64.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

TEST(Icons, EveryIconIsADistinct32By32Bitmap) {
  std::vector<std::string> names{
      "bnet-unknown",        "tier1-orc",         "tier1x-orc",
      "bnet-squelch",        "bnet-channelops",   "clan-orc-initiate_less_week",
      "clan-orc-initiate",   "clan-orc-member",   "clan-orc-officer",
      "clan-orc-leader",     "friends-online",    "friends-offline",
      "friends-nonmutual",   "friends-mutual",    "friends-chatroom",
      "friends-privategame", "friends-publicgame"};
  for (std::string race : {"human", "orc", "undead", "nightelf", "random", "tourney"}) {
    for (int tier = 2; tier <= 6; ++tier) {
      if (tier <= 5 && race != "tourney")
        names.push_back("tier" + std::to_string(tier) + "-" + race);
      names.push_back("tier" + std::to_string(tier) + "x-" + race);
    }
  }
  ASSERT_EQ(names.size(), 67u);
  std::set<std::string> images;
  for (const std::string& name : names) {
    std::ifstream f(std::filesystem::path(CORVANE_ICONS_DIR) / (name + ".bmp"), std::ios::binary);
    const std::string b{std::istreambuf_iterator<char>(f), {}};
    ASSERT_EQ(b.size(), 54u + 32 * 32 * 3) << name;
    // "BM", file size 3126, pixels at 54, a 40-byte info header: 32 x 32, 1 plane, 24 bits, raw.
    EXPECT_EQ(b.substr(0, 18), std::string("BM\x36\x0c\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18))
        << name;
    EXPECT_EQ(b.substr(18, 16), std::string("\x20\0\0\0\x20\0\0\0\x01\0\x18\0\0\0\0\0", 16))
        << name;
    EXPECT_TRUE(images.insert(b.substr(54)).second) << name << " looks like another icon";
    // The same drawing at 64 x 64 for a display scaled twice.
    EXPECT_EQ(
        std::filesystem::file_size(std::filesystem::path(CORVANE_ICONS_DIR) / (name + "@2x.bmp")),
        54u + 64 * 64 * 3)
        << name;
  }
}

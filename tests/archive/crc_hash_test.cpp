#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "archive/crc32.h"
#include "archive/vr_files.h"

namespace vn {
namespace {

TEST(Crc32, MatchesTheStandardChecksumAtEveryLengthAndAlignment) {
  EXPECT_EQ(Crc32Update(0, "123456789", 9), 0xCBF43926u);
  std::string data(5000, '\0');
  std::mt19937 rng(7);
  for (char& c : data) c = static_cast<char>(rng());
  for (size_t len : {0, 1, 15, 16, 63, 64, 65, 127, 128, 200, 4999}) {
    for (size_t off = 0; off < 4 && off + len <= data.size(); ++off) {
      const auto* p = reinterpret_cast<const Bytef*>(data.data() + off);
      const uint32_t expected = static_cast<uint32_t>(crc32(0, p, static_cast<uInt>(len)));
      EXPECT_EQ(Crc32Update(0, p, len), expected) << len << " at " << off;
      // in two pieces, split anywhere
      EXPECT_EQ(Crc32Update(Crc32Update(0, p, len / 3), p + len / 3, len - len / 3), expected);
    }
  }
}

TEST(HashCollection, TheNewestOfEqualNamesIsFound) {
  TVrFileCollection c;
  EXPECT_EQ(c.IndexOf(DataString("x")), -1);
  c.Add(DataString("other"));
  c.Add(DataString("A.RXA"));
  c.Add(DataString("a.rxa"));
  EXPECT_EQ(c.IndexOf(DataString("A.rxa")), 2);
  EXPECT_EQ(c.IndexOf(DataString("b.rxa")), -1);
  c[1].SetName(DataString("A.RXA"));  // the same bytes: nothing changes
  EXPECT_EQ(c.IndexOf(DataString("a.RXA")), 2);
  c[1].SetName(DataString("A.rxa"));  // renamed: now the newest in the chain
  EXPECT_EQ(c.IndexOf(DataString("a.RXA")), 1);
  c[1].SetName(DataString("/A.rxa"));  // hidden the way a merge hides an old version
  EXPECT_EQ(c.IndexOf(DataString("a.RXA")), 2);
}

TEST(HashCollection, RemovalRenumbersTheItemsBehind) {
  TVrFileCollection c;
  for (const char* n : {"bg001.rxa", "bg002.rxa", "bg003.rxa", "bg004.rxa", "bg005.rxa"})
    c.Add(DataString(n));
  c.Delete(2);
  EXPECT_EQ(c.Count(), 4);
  EXPECT_EQ(c.IndexOf(DataString("bg003.rxa")), -1);
  EXPECT_EQ(c.IndexOf(DataString("BG004.RXA")), 2);
  EXPECT_EQ(c.IndexOf(DataString("bg005.rxa")), 3);
  EXPECT_EQ(c.IndexOf(DataString("bg001.rxa")), 0);
  c.Delete(0);  // the head of nothing special: chains stay intact
  EXPECT_EQ(c.IndexOf(DataString("bg002.rxa")), 0);
  EXPECT_EQ(c.IndexOf(DataString("bg005.rxa")), 2);
}

// The name index against the documented rule, over random adds, renames and removals: the item
// found is the one, among those whose names are equal without regard to case, linked last. Enough
// names that the index grows and removals close gaps inside runs of neighbouring slots. The index
// is asked after some steps only, so that items added since the last lookup are renamed and removed
// before it links them.
TEST(HashCollection, LookupFollowsTheLinkOrderThroughRenamesAndRemovals) {
  std::vector<DataString> names;
  for (const char* n :
       {"bg001.rxa", "BG001.RXA", "bg002.rxa", "/bg001.rxa", "\x82\x61.txt", "\x82\x41.txt", "a", "A", ""})
    names.emplace_back(n);
  for (int i = 0; i < 150; ++i) names.emplace_back((i % 2 ? "SCENE\\" : "scene\\") + std::to_string(i / 2));
  TVrFileCollection c;
  std::vector<std::pair<DataString, int>> model;  // name and link sequence, by position
  std::mt19937 rng(3);
  int sequence = 0;
  const auto check = [&](const DataString& probe, int step) {
    int expected = -1;
    for (size_t i = 0; i < model.size(); ++i) {
      if (AnsiSameText(model[i].first, probe) &&
          (expected < 0 || model[i].second > model[static_cast<size_t>(expected)].second))
        expected = static_cast<int>(i);
    }
    ASSERT_EQ(c.IndexOf(probe), expected) << "step " << step << " probe " << probe.bytes();
    for (size_t i = 0; i < model.size(); ++i) {
      if (AnsiSameText(model[i].first, probe)) {
        ASSERT_EQ(c[static_cast<int>(i)].IsNewestOfName(), static_cast<int>(i) == expected)
            << "step " << step;
      }
    }
  };
  for (int step = 0; step < 4000; ++step) {
    const DataString& name = names[rng() % names.size()];
    const unsigned op = rng() % 8;
    DataString touched = name;
    if (op < 3 || model.size() < 100) {
      c.Add(name);
      model.emplace_back(name, ++sequence);
    } else if (op < 5) {
      const size_t i = rng() % model.size();
      touched = model[i].first;
      c[static_cast<int>(i)].SetName(name);
      if (model[i].first != name) model[i] = {name, ++sequence};
    } else {
      const size_t i = rng() % model.size();
      touched = model[i].first;
      c.Delete(static_cast<int>(i));
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (rng() % 3 != 0) continue;
    check(name, step);
    check(touched, step);
    if (step % 200 == 0) {
      for (const DataString& probe : names) check(probe, step);
    }
  }
  for (const DataString& probe : names) check(probe, 4000);
}

}  // namespace
}  // namespace vn

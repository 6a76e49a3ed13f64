#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "FlatIds.h"

namespace {

// A table as its callers use it: the keys kept in a vector under their
// numbers, hashed by the table or, to make keys share slots, by the case.
struct KeptKeys {
  std::uint32_t (*Hash)(const FlatIds&, const std::string&);
  FlatIds Ids;
  std::vector<std::string> Kept;

  std::uint32_t Insert(const std::string& key, bool& added) {
    const std::uint32_t id = Ids.Insert(
        Hash(Ids, key), [&](std::uint32_t other) { return Kept[other] == key; },
        added);
    if (added) Kept.push_back(key);
    return id;
  }
  std::uint32_t Find(const std::string& key) const {
    return Ids.Find(Hash(Ids, key),
                    [&](std::uint32_t other) { return Kept[other] == key; });
  }
};

struct KeysCase {
  const char* Name;
  int Keys;
  std::uint32_t (*Hash)(const FlatIds&, const std::string&);
};

const KeysCase kKeysCases[] = {
    // Many times the first size: the slots grow and every key moves.
    {"TheTablesHashPastItsFirstSize", 5000,
     [](const FlatIds& ids, const std::string& key) { return ids.Hash(key); }},
    // One slot for all: only the keys themselves tell them apart, and
    // growing keeps them all in one run.
    {"EveryKeyOnOneHash", 200,
     [](const FlatIds&, const std::string&) { return ~std::uint32_t{0}; }},
    // Two hashes whose runs meet and wrap past the last slot.
    {"TwoHashesAtTheEnd", 100,
     [](const FlatIds&, const std::string& key) {
       return key.empty() || key.back() % 2 == 0 ? ~std::uint32_t{0}
                                                 : ~std::uint32_t{1};
     }},
};

void PrintTo(const KeysCase& keysCase, std::ostream* out) {
  *out << keysCase.Name;
}

class FlatIdsKeys : public ::testing::TestWithParam<KeysCase> {};

TEST_P(FlatIdsKeys, NumbersKeysAsTheyComeAndFindsEachAgain) {
  KeptKeys table{GetParam().Hash, {}, {}};
  // The empty key first, then numbers, which prefix one another.
  std::vector<std::string> keys{""};
  for (int i = 1; i < GetParam().Keys; ++i) keys.push_back(std::to_string(i));
  for (std::size_t i = 0; i < keys.size(); ++i) {
    bool added = false;
    EXPECT_EQ(table.Insert(keys[i], added), i);
    EXPECT_TRUE(added);
  }
  EXPECT_EQ(table.Ids.Size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    bool added = true;
    EXPECT_EQ(table.Insert(keys[i], added), i) << keys[i];
    EXPECT_FALSE(added);
    EXPECT_EQ(table.Find(keys[i]), i) << keys[i];
  }
  EXPECT_EQ(table.Ids.Size(), keys.size());
  EXPECT_EQ(table.Find("absent"), FlatIds::kAbsent);
  EXPECT_EQ(table.Find(std::to_string(keys.size())), FlatIds::kAbsent);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlatIdsKeys, ::testing::ValuesIn(kKeysCases),
                         [](const ::testing::TestParamInfo<KeysCase>& param) {
                           return std::string(param.param.Name);
                         });

}  // namespace

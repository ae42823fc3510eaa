#include "airports/stand_options.h"

#include "liveries/airline_type.h"
#include "tests/airports/airports_test_support.h"
#include "traffic/records.h"

namespace {

StandOption live(std::uint32_t id, std::uint32_t day = 1, std::uint32_t kind = OPTION_REAL,
                 std::initializer_list<int> slots = {}, std::string registration = "") {
  StandOption option;
  option.id = id;
  option.day = day;
  option.kind = kind;
  option.registration = std::move(registration);
  for (int slot : slots) option.slots.set(slot);
  return option;
}

std::vector<std::uint32_t> ids(const std::vector<StandOption>& options) {
  std::vector<std::uint32_t> result;
  for (const StandOption& option : options) result.push_back(option.id);
  return result;
}

}  // namespace

TEST(StandOptions, AddUpdateFindAndRanges) {
  WorkFolder folder;
  seedDataBase();
  ModelKey aircraft;
  aircraft.operatorCode = "EZY";
  aircraft.type = "A319";

  // gf_addOption: ids, trailing deleted options, ghost marks, the data base's operator.
  struct Add {
    std::vector<StandOption> before;
    std::string callsign;
    std::string registration;
    std::uint32_t id;
    std::vector<std::uint32_t> ids;
    std::string first;
    std::string airline;
  };
  const Add adds[] = {
      {{}, "EZY1", "", 1, {1}, "EZY1", "EZY"},
      {{live(1), live(0), live(3), live(4), live(5), live(0), live(0)}, "EZY1_", "", 6, {1, 0, 3, 4, 5, 6}, "EZY1", "EZY"},
      {{live(1)}, "EZY1__", "G-UNKNOWN", 2, {1, 2}, "EZY1_", "EZY"},
      {{}, "SHT1", "GOPRX", 1, {1}, "SHT1", "SHT"},
  };
  for (const Add& item : adds) {
    std::vector<StandOption> options = item.before;
    EXPECT_EQ(gf_addOption(options, aircraft, OPTION_REAL, gf_makeDaySlot(2, 14), item.callsign, item.registration),
              item.id);
    EXPECT_EQ(ids(options), item.ids);
    EXPECT_EQ(options.back().firstCallsign, item.first);
    EXPECT_EQ(options.back().operatorCode, item.airline) << item.registration;
    EXPECT_EQ(options.back().archived, 0u);
    EXPECT_EQ(options.back().day, 2u);
    EXPECT_TRUE(options.back().slots.test(14));
  }
  std::vector<StandOption> none;
  EXPECT_THROW(gf_addOption(none, aircraft, OPTION_REAL, gf_makeDaySlot(2, 48), "X", ""), std::out_of_range);

  // lf_markOptionSlot: first, second and third callsigns.
  struct Mark {
    std::string first, second, callsign, expectFirst, expectSecond;
  };
  const Mark marks[] = {
      {"", "", "A", "A", ""},      {"A", "", "A", "A", ""},   {"A", "", "B", "A", "B"},
      {"A", "B", "A", "A", "B"},   {"A", "B", "B", "A", "B"}, {"A", "B", "C", "A", "C"},
      {"A", "B", "", "A", "B"},
  };
  for (const Mark& item : marks) {
    StandOption option = live(7);
    option.firstCallsign = item.first;
    option.secondCallsign = item.second;
    EXPECT_TRUE(lf_markOptionSlot(9, 7, item.callsign, option));
    EXPECT_TRUE(option.slots.test(9));
    EXPECT_EQ(option.firstCallsign + "|" + option.secondCallsign, item.expectFirst + "|" + item.expectSecond);
  }
  StandOption deleted = live(0);
  EXPECT_FALSE(lf_markOptionSlot(9, 0, "A", deleted));
  std::vector<StandOption> list = {live(1), live(2)};
  EXPECT_TRUE(gf_updateOption(list, gf_makeDaySlot(5, 3), 2, "X_"));
  EXPECT_EQ(list[1].firstCallsign, "X");
  EXPECT_FALSE(gf_updateOption(list, gf_makeDaySlot(5, 3), 9, "X"));
  EXPECT_FALSE(gf_updateOption(list, gf_makeDaySlot(5, 60), 1, "X")) << "a bad slot is logged, not raised";

  // gf_findOptionNearSlot: wraps within the day, real live options of the day only.
  std::vector<StandOption> nearby = {live(1, 3, OPTION_SOFT, {47}, "R"), live(2, 4, OPTION_REAL, {47}, "R"),
                                   live(0, 3, OPTION_REAL, {47}, "R"), live(4, 3, OPTION_REAL, {47}, "R"),
                                   live(5, 3, OPTION_REAL, {0}, "R")};
  EXPECT_EQ(gf_findOptionNearSlot(nearby, gf_makeDaySlot(3, 0), "R")->id, 4u);
  EXPECT_EQ(gf_findOptionNearSlot(nearby, gf_makeDaySlot(3, 47), "R")->id, 4u);
  nearby.erase(nearby.begin() + 3);
  EXPECT_EQ(gf_findOptionNearSlot(nearby, gf_makeDaySlot(3, 47), "R")->id, 5u);
  EXPECT_EQ(gf_findOptionNearSlot(nearby, gf_makeDaySlot(3, 20), "R"), nearby.end());
  EXPECT_EQ(gf_findOptionNearSlot(nearby, gf_makeDaySlot(3, 0), "S"), nearby.end());

  // testRange and the free-slot test.
  struct Range {
    std::int32_t start, offset;
    std::initializer_list<int> slots;
    bool found;
    std::int32_t remaining;
  };
  const Range ranges[] = {{5, 10, {}, false, 5}, {40, 60, {}, false, 20}, {5, 2, {}, false, -1},
                          {5, 2, {3}, true, -1},  {5, 2, {2}, false, -1}, {48, 2, {47}, false, -1}};
  for (const Range& item : ranges) {
    std::int32_t remaining = 99;
    EXPECT_EQ(testRange(live(1, 1, OPTION_REAL, item.slots), item.start, item.offset, remaining), item.found);
    EXPECT_EQ(remaining, item.remaining) << item.start << "," << item.offset;
  }
  EXPECT_FALSE(gf_slotFreeForDay({live(1, 2, OPTION_SOFT, {7})}, gf_makeDaySlot(2, 7)));
  EXPECT_TRUE(gf_slotFreeForDay({live(0, 2, OPTION_REAL, {7}), live(1, 3, OPTION_REAL, {7})}, gf_makeDaySlot(2, 7)));

  // Matching, and the label shared with the live aircraft's key.
  StandOption match = live(1);
  match.operatorCode = "EZY";
  match.type = "A319";
  match.firstCallsign = "EZY12";
  EXPECT_TRUE(gf_optionMatches("X", aircraft, match));
  EXPECT_TRUE(gf_anyOptionMatches({match}, "EZY12", ModelKey{}));
  EXPECT_FALSE(gf_anyOptionMatches({match}, "", aircraft));
  match.kind = OPTION_SOFT;
  EXPECT_FALSE(gf_optionMatches("EZY12", aircraft, match));
  EXPECT_EQ(gf_airlineTypeLabel(match), gf_airlineTypeLabel(aircraft));
  EXPECT_EQ(gf_airlineTypeLabel(match), "EZY A319");
  EXPECT_TRUE(gf_sameAirlineType(match, aircraft));
  ModelKey lower = aircraft;
  lower.type = "a319";
  EXPECT_FALSE(gf_sameAirlineType(lower, match));
  EXPECT_EQ(gf_daySlotText(gf_makeDaySlot(7, 47)), "day=7 hh=47");
}

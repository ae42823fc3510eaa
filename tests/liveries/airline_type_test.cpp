#include "liveries/airline_type.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct KeyLike {
  std::string operatorCode;
  std::string type;
  std::string registration;
};

struct LiveryLike {
  std::string airline;
  std::string type;
};

TEST(AirlineType, LabelPadsAirlineToThreeAndTypeToFourWhicheverTheAirlineMemberIsNamed) {
  struct Case {
    std::string airline, type, label;
  };
  for (const Case& c : {Case{"KLM", "B738", "KLM B738"}, Case{"", "C25", "    C25 "},
                        Case{"EZ", "", "EZ      "}, Case{"LONG", "A20N5", "LONG A20N5"}}) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(gf_airlineTypeLabel(KeyLike{c.airline, c.type, "PH-BXA"}), c.label);
    EXPECT_EQ(gf_airlineTypeLabel(LiveryLike{c.airline, c.type}), c.label);
  }
}

TEST(AirlineType, SameAirlineTypeIsExactAndCaseSensitiveAcrossRecordKinds) {
  struct Livery {
    std::string airl;
    std::string type;
  };
  struct Case {
    std::string airline, type;
    bool same;
  };
  for (const Case& c : {Case{"BAW", "B738", true}, Case{"baw", "B738", false}, Case{"BAW", "b738", false},
                        Case{"BAW ", "B738", false}, Case{"BAW", "B739", false}, Case{"KLM", "B738", false}}) {
    SCOPED_TRACE(c.airline + "/" + c.type);
    const KeyLike key{"BAW", "B738", "G-GDFA"};
    EXPECT_EQ(gf_sameAirlineType(key, Livery{c.airline, c.type}), c.same);
    EXPECT_EQ(gf_sameAirlineType(LiveryLike{c.airline, c.type}, key), c.same);
  }
}

}  // namespace

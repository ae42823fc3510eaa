#include "liveries/aircraft_cfg.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <regex>
#include <stdexcept>
#include <string>

#include "core/random.h"

namespace {

// What a parser made of one line, in one text: "-" for no match, else its result.
using Parser = std::function<std::string(const std::string&)>;

template <bool (*Parse)(const std::string&, std::string&)>
std::string outOf(const std::string& line) {
  std::string out = "old";
  return Parse(line, out) ? out : "-";
}

Parser titleParser = outOf<lf_parseTitle>;
Parser textureParser = outOf<lf_parseTexture>;
Parser airlineParser = outOf<lf_parseIcaoAirline>;
Parser atcIdParser = outOf<lf_parseAtcId>;
Parser parkingParser = outOf<lf_parseAtcParkingTypes>;
Parser typeParser = [](const std::string& line) { return lf_parseIcaoTypeDesignator(line); };
Parser containerParser = [](const std::string& line) { return lf_parseBaseContainer(line); };
Parser headerParser = [](const std::string& line) { return lf_parseFltSimHeader(line); };

}  // namespace

TEST(AircraftCfgParsers, EveryParserAnswersAsItsPatternWould) {
  struct Case {
    const char* name;
    Parser* parser;
    std::string line;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"title", &titleParser, R"(title = "A" junk)", "A"},
      {"title", &titleParser, "  TITLE=B737 with blanks \t", "B737 with blanks"},
      {"title", &titleParser, R"(title = ")", "old"},
      {"title", &titleParser, R"(title = "")", "old"},
      {"title", &titleParser, "title =", "-"},
      {"title", &titleParser, "title = a\rb", "-"},
      {"title", &titleParser, "titles = a", "-"},
      {"title", &titleParser, "// title = a", "-"},
      {"texture", &textureParser, R"(texture = "FFT"; texture folder)", "FFT"},
      {"texture", &textureParser, R"(texture = "")", "-"},
      {"icao_airline", &airlineParser, R"(icao_airline = "")", "ZZZ"},
      {"icao_airline", &airlineParser, R"(icao_airline = "ZZZZ" ;)", "ZZZ"},
      {"icao_airline", &airlineParser, "icao_airline = baw", "BAW"},
      {"icao_airline", &airlineParser, "icao_airline = bawx", "BAWX"},
      {"icao_type_designator", &typeParser, "icao_type_designator = b738800x", "B738"},
      {"icao_type_designator", &typeParser, "icao_type_designator =", ""},
      {"atc_id", &atcIdParser, "atc_id = ABCD", "-"},
      {"atc_id", &atcIdParser, "atc_id = g-abc", "g-abc"},
      {"atc_parking_types", &parkingParser, R"(ATC_PARKING_TYPES = "GATE,RAMP")", "GATE,RAMP"},
      {"base_container", &containerParser, R"(base_container = "..\Asobo_A320_NEO")", "A20N"},
      {"base_container", &containerParser, R"(base_container = "..\asobo_a320_neo")", ""},
      {"base_container", &containerParser, R"(base_container = "..\FSLTL_A320")", ""},
      {"base_container", &containerParser, R"(base_container = "..\")", ""},
      {"header", &headerParser, "[fltsim.0]", "0"},
      {"header", &headerParser, " [FLTSIM.3]  ", "3"},
      {"header", &headerParser, "[FltSim.12]", "12"},
      {"header", &headerParser, "[fltsim.0] // c", "10000"},
      {"header", &headerParser, "[FLTSIM.]", "10000"},
      {"header", &headerParser, "[FltSim.0] // c", ""},
      {"header", &headerParser, "//[fltsim.1]", ""},
      {"header", &headerParser, "[General]", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ((*c.parser)(c.line), c.expected) << c.name << ": " << c.line;
  }
  EXPECT_THROW(lf_parseBaseContainer(R"(base_container = "ab")"), std::out_of_range);
}

// Every key parser walks a megabyte line on a worker's stack without recursing.
TEST(AircraftCfgParsers, MegabyteLineOnWorkerThread) {
  const std::string big(1 << 20, 'x');
  const std::string digits(1 << 20, '7');
  const std::string upper(1 << 20, 'X');
  struct Case {
    std::string line;
    Parser* parser;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"title = \"" + big + "\" ;", &titleParser, big},
      {"texture = " + big, &textureParser, big},
      {"icao_airline = " + big, &airlineParser, upper},
      {"atc_id = " + big, &atcIdParser, big},
      {"atc_parking_types = " + big, &parkingParser, big},
      {"icao_type_designator = " + big, &typeParser, "XXXX"},
      {"base_container = " + big, &containerParser, ""},
      {"[fltsim." + digits + "]", &headerParser, digits},
      {big, &headerParser, ""},
  };
  auto done = gf_startWorker([&] {
    int right = 0;
    for (const Case& c : cases) right += (*c.parser)(c.line) == c.expected ? 1 : 0;
    return right;
  });
  EXPECT_EQ(done.get(), static_cast<int>(cases.size()));
}

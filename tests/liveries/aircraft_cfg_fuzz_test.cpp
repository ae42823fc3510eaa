// Broken, truncated and binary files and lines through the scan workers and the
// parsers, under the sanitizers: nothing crashes or hangs, every file leaves a
// trace, and the key matcher answers as its regular expression does.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/random.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/ivao.h"
#include "liveries/livery_section.h"
#include "livery_scan_test_support.h"

namespace {

std::string validFile(int n) {
  const std::string id = std::to_string(n);
  return "[GENERAL]\nicao_type_designator = \"B738\"\n\n[FLTSIM.0]\ntitle = \"B738 BAW fuzz " + id +
         " a\" ; comment\ntexture = \"BAW\"\nicao_airline = \"BAW\"\natc_id = \"G-FZ" + id +
         "\"\natc_parking_types = \"GATE\"\n\n[FLTSIM.1]\ntitle = \"B738 DLH fuzz " + id +
         " b\"\ntexture = \"BAW\"\nicao_airline = \"DLH\"\natc_parking_types = \"CARGO\"\n";
}

std::string utf16(const std::string& ascii, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char c : ascii) {
    bytes += bigEndian ? '\0' : c;
    bytes += bigEndian ? c : '\0';
  }
  return bytes;
}

// One broken variant of a valid file, chosen by n.
std::string brokenFile(int n, std::mt19937& random) {
  std::string text = validFile(n);
  auto pick = [&](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size)(random); };
  switch (n % 8) {
    case 1:  // truncated
      return text.substr(0, pick(text.size()));
    case 2:  // random bytes, NULs among them, written over the text
      for (int i = 0; i < 8; ++i) text[pick(text.size() - 1)] = static_cast<char>(random() % 4 == 0 ? 0 : random());
      return text;
    case 3: {  // binary
      std::string bytes(pick(2000), '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      return bytes;
    }
    case 4: {  // UTF-16, odd length or a lone surrogate
      std::string bytes = utf16(text, random() % 2 == 0);
      if (random() % 2 == 0) return bytes.substr(0, pick(bytes.size()) | 1);
      bytes.insert(pick(bytes.size() / 2) * 2, std::string("\x00\xD8", 2));
      return bytes;
    }
    case 5:  // section numbers beyond int
      return text + (random() % 2 == 0 ? "[FLTSIM.2147483648]\n" : "[fltsim.99999999999999999999]\n");
    case 6:  // a megabyte line, now and then
      if (n % 1000 == 6) return text + "title = \"" + std::string(1 << 20, 'x') + "\"\n";
      return text + std::string(pick(300), '[') + "\n";
    case 7:  // lines shuffled
    {
      std::vector<std::string> lines;
      for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
      }
      std::shuffle(lines.begin(), lines.end(), random);
      std::string out;
      for (const std::string& line : lines) out += line + (random() % 2 == 0 ? "\r\n" : "\n");
      return out;
    }
    default:
      return text;
  }
}

// A line built from the pieces parsers look for.
std::string randomLine(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      "title", "TiTlE", "texture", "icao_airline", "atc_id", "atc_id=", "atc_parking_types", "base_container",
      "icao_type_designator", "[fltsim.", "[FLTSIM.", "]", "=", " = ", "\"", "\"\"", " ", "\t", "\r", "\n", "\v",
      std::string(1, '\0'), "..\\", "Asobo_A320_NEO", "ZZZZ", "BAW", "G-ABCD", ",", ";", "*", "//", "0", "12",
      "99999999999", "\xC3\xBC", "\xFF", "x", "CARGO", "GATE", "-STUB"};
  std::string line;
  const int count = static_cast<int>(random() % 12);
  for (int i = 0; i < count; ++i) line += pieces[random() % pieces.size()];
  return line;
}

// A path built from the pieces of the IVAO package layout.
std::string randomPath(std::mt19937& random) {
  static const std::vector<std::string> pieces = {"/", "\\", "IVAO_MTL", "ivao_x-csl", "SimObjects", "airplanes",
                                                  "IVAO_", "B738", "_", "aircraft.cfg", "aircraft\ncfg", "x", "-",
                                                  "/IVAO_MTL/SimObjects/Airplanes/IVAO_"};
  std::string path;
  const int count = static_cast<int>(random() % 10);
  for (int i = 0; i < count; ++i) path += pieces[random() % pieces.size()];
  return path;
}

bool anyReport() { return !reportLines().empty(); }

}  // namespace

// The 10,000 files and 100,000 lines run in shards of their own, so that CTest
// spreads them over the cores instead of one test holding a core for minutes.
constexpr int kShards = 4;
constexpr int kFilesPerShard = 10000 / kShards;
constexpr int kLinesPerShard = 100000 / kShards;

class LiveryScanFuzz : public LiveryScanTest, public testing::WithParamInterface<int> {
 protected:
  void filesThroughBothWorkers(int shard);
  void linesThroughParsersAndSections(int shard);
};

void LiveryScanFuzz::filesThroughBothWorkers(int shard) {
  const auto ordinary = writeCfg("ordinary", "");
  const auto ivao = writeCfg("IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "");
  std::filesystem::create_directories(ivao.parent_path() / "texture.BAW");
  auto done = gf_startWorker([&] {
    std::mt19937 random(18 + shard);
    int traceless = 0;
    int validMissed = 0;
    for (int n = shard * kFilesPerShard; n < (shard + 1) * kFilesPerShard; ++n) {
      const std::string bytes = brokenFile(n, random);
      for (const auto& path : {ordinary, ivao}) {
        lf_clearScanLists();
        // A new file each time: rewriting one in place makes the file system flush it to disk.
        std::filesystem::remove(path);
        writeBytes(path, bytes);
        const auto logBefore = logSize();
        std::size_t liveries = 0;
        bool failed = false;
        try {
          ScannedCfgFile file =
              path == ivao ? lf_searchLiveriesinIvaoFile(1, path) : lf_searchLiveriesinFile(1, path);
          liveries = lf_claimScannedFile(file).size();
        } catch (const std::exception&) {
          failed = true;
        }
        if (n % 8 == 0 && liveries != 2) ++validMissed;
        if (liveries == 0 && !failed && !anyReport() && logSize() == logBefore) ++traceless;
      }
    }
    return std::make_pair(traceless, validMissed);
  });
  const auto [traceless, validMissed] = done.get();
  EXPECT_EQ(traceless, 0);
  EXPECT_EQ(validMissed, 0);
}

void LiveryScanFuzz::linesThroughParsersAndSections(int shard) {
  const auto ivao = writeCfg("IVAO_MTL/SimObjects/Airplanes/IVAO_B738", "");
  std::filesystem::create_directories(ivao.parent_path() / "texture.BAW");
  const std::string folder = ivao.parent_path().string();
  const IvaoTitlePattern pattern = lf_ivaoTitlePattern("B738", ivao.string());
  auto done = gf_startWorker([&] {
    std::mt19937 random(1018 + shard);
    int disagreements = 0;
    std::vector<std::string> section;
    for (int n = shard * kLinesPerShard; n < (shard + 1) * kLinesPerShard; ++n) {
      const std::string line = randomLine(random);
      // The hand-written matcher against the pattern it stands for.
      for (const char* key : {"title", "atc_id"}) {
        static const std::regex title(R"(\s*(title)\s*=\s*(.*\S)\s*)", std::regex::ECMAScript | std::regex::icase);
        static const std::regex atcId(R"(\s*(atc_id)\s*=\s*(.*\S)\s*)", std::regex::ECMAScript | std::regex::icase);
        std::smatch match;
        const bool matched = std::regex_match(line, match, key[0] == 't' ? title : atcId);
        const auto value = lf_matchKey(line, key);
        if (matched != value.has_value() || (matched && match[2].str() != *value)) ++disagreements;
      }
      // The IVAO path walk against the path patterns it stands for.
      static const std::regex mtl(R"(.+[\\/]IVAO_MTL[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                  std::regex::ECMAScript | std::regex::icase);
      static const std::regex csl(R"(.+[\\/]ivao_x-csl[\\/]SimObjects[\\/]Airplanes[\\/]IVAO_(\w+)[\\/]aircraft.cfg$)",
                                  std::regex::ECMAScript | std::regex::icase);
      const std::string path = randomPath(random) + "/aircraft.cfg";
      std::smatch match;
      const bool matched = std::regex_match(path, match, mtl) || std::regex_match(path, match, csl);
      const auto model = lf_ivaoPathModel(path);
      if (matched != model.has_value() || (matched && match[1].str() != *model)) ++disagreements;
      std::string out;
      lf_parseTitle(line, out);
      lf_parseTexture(line, out);
      lf_parseIcaoAirline(line, out);
      lf_parseAtcId(line, out);
      lf_parseAtcParkingTypes(line, out);
      lf_parseIcaoTypeDesignator(line);
      lf_parseFltSimHeader(line);
      try {
        lf_parseBaseContainer(line);
      } catch (const std::out_of_range&) {
      }
      section.push_back(line);
      if (section.size() > random() % 12) {
        section.insert(section.begin(), "[fltsim.0]");
        std::vector<std::string> copy = section;
        lf_procesFltSimSection(1, section, "B738", ivao.string(), folder);
        lf_procesIvaoFltSimSection(1, copy, pattern, "B738", ivao.string(), folder);
        section.clear();
        if (n % 1000 == 0) lf_clearScanLists();
      }
    }
    const std::string deep = "/" + std::string(100000, 'a') + "/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg";
    return lf_ivaoPathModel(deep) == "B738" ? disagreements : -1;
  });
  EXPECT_EQ(done.get(), 0);
}

TEST_P(LiveryScanFuzz, FuzzFilesThroughBothWorkers) { filesThroughBothWorkers(GetParam()); }
TEST_P(LiveryScanFuzz, FuzzLinesThroughParsersAndSections) { linesThroughParsersAndSections(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Shards, LiveryScanFuzz, testing::Range(0, kShards));

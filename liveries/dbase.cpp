#include "liveries/dbase.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include <pugixml.hpp>

#include "core/errors.h"
#include "core/file_read.h"
#include "core/format.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/util.h"
#include "liveries/data_downloads.h"
#include "liveries/dbase_lookups.h"
#include "liveries/scramble.h"

CodeSet gAircraftModels;
CodeSet gHighPerformanceModels;
CodeSet gHeavyModels;
CodeSet gLargeModels;
CodeSet gBuzjetModels;
CodeSet gRotorcraftModels;
CodeSet gCargoModels;
std::vector<std::vector<std::string>> gSimilarTypes;
CodeSet gAirlineCodes;
CodeSet gCargoOperators;
std::vector<std::vector<std::string>> gPublishers;
std::map<std::string, double> gWingspans;
double gMaxWingspan = 0.0;
std::array<double, 6> gCategoryWingspans{};
std::unordered_map<std::string, std::string> gModelFixes;
CodeSet gLinkpackAirports;
std::vector<ThirdpartyAirports> gThirdpartyAirports20;
std::vector<ThirdpartyAirports> gThirdpartyAirports24;
std::unordered_map<std::string, DbaseRecord> gDbaseRegistrations;
std::vector<std::string> gPrivateRegistrations;
bool gDataBaseRead = false;

namespace {

constexpr double kMetresPerNauticalMile = 1852.0;

// Every word of the list attribute of every item; 61 when none.
void lf_readXmlSection(const pugi::xml_document& document, const char* section, CodeSet& target,
                       const char* item, const char* attribute) {
  for (const pugi::xml_node node : document.child(section).children(item)) {
    for (auto& word : gf_splitComma(node.attribute(attribute).as_string())) target.insert(std::move(word));
  }
  if (target.empty()) {
    throw qlx::UserErrorException(
        61, sk::format("In an xml file section {} {} {} is empty ", section, item, attribute));
  }
}

void lf_readTypes(const pugi::xml_document& document, const char* section, CodeSet& target, const char* item) {
  CodeSet scrambled;
  lf_readXmlSection(document, section, scrambled, item, "types");
  for (const auto& word : scrambled) target.insert(gf_decryptModel(word));
}

void lf_readCodes(const pugi::xml_document& document, const char* section, CodeSet& target) {
  CodeSet scrambled;
  lf_readXmlSection(document, section, scrambled, "ICAO", "codes");
  for (const auto& word : scrambled) target.insert(gf_decryptAirline(word));
}

void lf_unscrambleModels(std::vector<std::string>& words) {
  for (auto& word : words) word = gf_decryptModel(word);
}

void lf_readSimilarTypes(const pugi::xml_document& document) {
  gSimilarTypes.reserve(64);
  for (const pugi::xml_node node : document.child("similar_types").children("similar")) {
    auto group = gf_splitComma(node.attribute("types").as_string());
    lf_unscrambleModels(group);
    std::sort(group.begin(), group.end());
    gSimilarTypes.push_back(std::move(group));
  }
  gSimilarTypes.shrink_to_fit();
}

void lf_readPublisherNames(const std::vector<std::string>& texts) {
  for (const auto& text : texts) {
    auto words = lf_splitComma(text);
    words.shrink_to_fit();
    gPublishers.push_back(std::move(words));
  }
}

void lf_readPublishers(const pugi::xml_document& document, const std::string& path) {
  try {
    gPublishers.reserve(640);
    std::vector<std::string> texts;
    for (const pugi::xml_node node : document.child("publishers").children("pub")) {
      texts.emplace_back(node.attribute("names").as_string());
    }
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    lf_readPublisherNames(texts);
    gPublishers.shrink_to_fit();
  } catch (const std::exception& error) {
    throw qlx::SysErrorException(299, sk::format("exception {} in reading publishers from \"{}\"", error.what(), path));
  }
}

void lf_readWingspans(const pugi::xml_document& document, const std::string& path) {
  try {
    bool accepted = false;
    for (const pugi::xml_node node : document.child("wingspans").children("wingspan")) {
      const std::string code = gf_decryptModel(node.attribute("type").as_string());
      if (code.empty() || !gAircraftModels.contains(code)) {
        gf_log(sk::format("wingspan model {} is no valid model, skipped", code));
        continue;
      }
      const double value = gf_xmlAttrDouble(node, "meters") * 0.5 / kMetresPerNauticalMile;
      gWingspans.emplace(code, value);
      gMaxWingspan = std::max(gMaxWingspan, value);
      accepted = true;
    }
    if (accepted) lf_averageWingspans();
  } catch (const std::exception& error) {
    throw qlx::SysErrorException(288, sk::format("exception {} in reading wingspans from \"{}\"", error.what(), path));
  }
}

void lf_readFixes(const pugi::xml_document& document) {
  for (const pugi::xml_node node : document.child("fixes").children("fx")) {
    std::string wrong = node.attribute("wro").as_string();
    std::string correct = node.attribute("cor").as_string();
    if (correct.empty() || !gAircraftModels.contains(correct)) {
      gf_log(sk::format("wrong fix {}->{}, the latter is not a valid model", wrong, correct));
    } else if (!gModelFixes.emplace(wrong, std::move(correct)).second) {
      gf_log(sk::format("wrong part of fix: \"{}\", already exists, skipped", wrong));
    }
  }
}

void lf_readThirdParties(const pugi::xml_document& document, const char* section,
                         std::vector<ThirdpartyAirports>& target, const char* item) {
  for (const pugi::xml_node node : document.child(section).children(item)) {
    target.push_back({node.attribute("pub").as_string(), gf_splitComma(node.attribute("arpts").as_string())});
  }
}

std::string decryptedOrEmpty(const pugi::xml_node node, const char* attribute,
                             std::string (*decrypt)(const std::string&)) {
  const std::string text = node.attribute(attribute).as_string();
  return text.empty() ? std::string() : decrypt(text);
}

void lf_readRegistrations(const pugi::xml_document& document) {
  gDbaseRegistrations.clear();
  const pugi::xml_node section = document.child("dbase");
  const auto items = section.children("db");
  gDbaseRegistrations.reserve(static_cast<std::size_t>(std::distance(items.begin(), items.end())));
  for (const pugi::xml_node node : items) {
    std::string reg = gf_decryptRegcode(node.attribute("reg").as_string());
    DbaseRecord record{decryptedOrEmpty(node, "airl", gf_decryptAirline),
                       decryptedOrEmpty(node, "type", gf_decryptModel),
                       decryptedOrEmpty(node, "opr", gf_decryptAirline), gf_xmlAttrBool(node, "cargo")};
    const auto [where, inserted] = gDbaseRegistrations.try_emplace(std::move(reg), std::move(record));
    if (!inserted) gf_log(sk::format("regcode {} already exists", where->first));
  }
}

}  // namespace

// The hash map's order changes with every data base; this one does not.
void lf_listPrivateRegistrations() {
  gPrivateRegistrations.clear();
  for (const auto& [reg, record] : gDbaseRegistrations) {
    if (record.airl == "PVT" && reg.size() < 5) gPrivateRegistrations.push_back(reg);
  }
  std::sort(gPrivateRegistrations.begin(), gPrivateRegistrations.end(),
            [](const std::string& a, const std::string& b) {
              return a.size() != b.size() ? a.size() > b.size() : a < b;
            });
}

void gf_readDataBase() {
  gf_installScrambleKey();
  const std::filesystem::path file = Temp2Path;
  const std::string path = gf_pathToUtf8(file);
  if (!lf_downloadDbase(file)) {
    throw qlx::SysErrorException(23, "data base could not be read from on-line?");
  }
  pugi::xml_document document;
  const XmlFileLoad loaded = gf_loadXmlFile(document, file);
  if (!loaded) {
    throw qlx::UserErrorException(60, sk::format("\"{}\" not read because of {}", path, loaded.description()));
  }
  lf_readTypes(document, "aircrafts", gAircraftModels, "aircraft");
  lf_readTypes(document, "high_performance", gHighPerformanceModels, "hpf");
  lf_readTypes(document, "heavy", gHeavyModels, "hvy");
  lf_readTypes(document, "large", gLargeModels, "lar");
  lf_readTypes(document, "buzjet", gBuzjetModels, "bzj");
  lf_readTypes(document, "rotorcraft", gRotorcraftModels, "rot");
  lf_readTypes(document, "cargo_types", gCargoModels, "cargo_type");
  lf_readSimilarTypes(document);
  lf_readCodes(document, "ICAO_airlines", gAirlineCodes);
  lf_readCodes(document, "cargo_operators", gCargoOperators);
  lf_readPublishers(document, path);
  lf_readWingspans(document, path);
  lf_readFixes(document);
  lf_readXmlSection(document, "linkpacks20", gLinkpackAirports, "linkpack20", "arpts");
  gThirdpartyAirports20.reserve(600);
  lf_readThirdParties(document, "thirdparties20", gThirdpartyAirports20, "thirdpartie20");
  gThirdpartyAirports24.reserve(300);
  lf_readThirdParties(document, "thirdparties24", gThirdpartyAirports24, "thirdpartie24");
  lf_readRegistrations(document);
  lf_listPrivateRegistrations();
  if (std::filesystem::exists(file)) std::filesystem::remove(file);
}

void gf_clearDataBase() {
  for (CodeSet* set : {&gAircraftModels, &gHighPerformanceModels, &gHeavyModels, &gLargeModels, &gBuzjetModels,
                       &gRotorcraftModels, &gCargoModels, &gAirlineCodes, &gCargoOperators, &gLinkpackAirports}) {
    set->clear();
  }
  gSimilarTypes.clear();
  gPublishers.clear();
  gWingspans.clear();
  gMaxWingspan = 0.0;
  gCategoryWingspans.fill(0.0);
  gModelFixes.clear();
  gThirdpartyAirports20.clear();
  gThirdpartyAirports24.clear();
  gDbaseRegistrations.clear();
  gPrivateRegistrations.clear();
  gDataBaseRead = false;
}

#include "liveries/dbase_lookups.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <regex>

#include "core/format.h"
#include "core/log.h"

int gf_categoryOf(const std::string& model) {
  if (gLargeModels.contains(model)) return 2;
  if (gHeavyModels.contains(model)) return 3;
  if (gBuzjetModels.contains(model)) return 1;
  if (gRotorcraftModels.contains(model)) return 5;
  if (gHighPerformanceModels.contains(model)) return 4;
  return 0;
}

bool gf_isValidModel(const std::string& model) { return !model.empty() && gAircraftModels.contains(model); }

bool gf_isValidAirline(const std::string& airline) { return !airline.empty() && gAirlineCodes.contains(airline); }

void lf_averageWingspans() {
  std::array<int, 6> counts{};
  gCategoryWingspans.fill(0.0);
  for (const auto& [model, span] : gWingspans) {
    const auto category = static_cast<std::size_t>(gf_categoryOf(model));
    gCategoryWingspans[category] += span;
    ++counts[category];
  }
  // A category without entries keeps 0.0: live traffic's separation reads it.
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] > 0) gCategoryWingspans[i] /= counts[i];
  }
}

double gf_wingspanOf(const std::string& model) {
  const auto found = gWingspans.find(model);
  if (found != gWingspans.end()) return found->second;
  return gCategoryWingspans[static_cast<std::size_t>(gf_categoryOf(model))];
}

std::vector<std::string> gf_regcodeCandidates(const std::string& registration) {
  std::vector<std::string> keys;
  keys.reserve(3);
  if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string::npos) {
    keys.push_back(registration.substr(0, 2) + '-' + registration.substr(2));
    keys.push_back(registration.substr(0, 1) + '-' + registration.substr(1));
  }
  keys.push_back(registration);
  return keys;
}

bool gf_findDbaseRecord(std::optional<DbaseRecord>& out, const std::string& key) {
  const auto found = gDbaseRegistrations.find(key);
  if (found == gDbaseRegistrations.end()) return false;
  if (!out) {
    out.emplace(found->second);
  } else {
    out->airl = found->second.airl;
    out->type = found->second.type;
    out->opr = found->second.opr;
    out->cargo = found->second.cargo;
  }
  return true;
}

std::optional<DbaseRecord> gf_dbaseRecordOf(const std::string& registration) {
  std::optional<DbaseRecord> record;
  if (registration.empty()) return record;
  for (const auto& key : gf_regcodeCandidates(registration)) {
    if (gf_findDbaseRecord(record, key)) break;
  }
  return record;
}

namespace {

const DbaseRecord* recordOf(const std::string& registration) {
  if (registration.empty()) return nullptr;
  for (const auto& key : gf_regcodeCandidates(registration)) {
    const auto found = gDbaseRegistrations.find(key);
    if (found != gDbaseRegistrations.end()) return &found->second;
  }
  return nullptr;
}

}  // namespace

std::string gf_dbaseAirlineOf(const std::string& registration) {
  const DbaseRecord* record = recordOf(registration);
  return record ? record->airl : std::string();
}

std::string gf_dbaseModelOf(const std::string& registration) {
  const DbaseRecord* record = recordOf(registration);
  return record ? record->type : std::string();
}

std::string gf_dbaseOperatorOf(const std::string& registration) {
  const DbaseRecord* record = recordOf(registration);
  return record ? record->opr : std::string();
}

std::string gf_privateRegcodeIn(const std::string& text) {
  for (const auto& reg : gPrivateRegistrations) {
    if (reg.size() <= text.size() && text.find(reg) != std::string::npos) return reg;
  }
  return {};
}

namespace {

// Each pattern is built once (the scan asks every publisher word for every
// airport); null for a pattern that is no expression. Entries are never
// removed, so the pointer stays valid without the lock.
const std::regex* lf_wildcardExpression(const std::string& pattern) {
  static std::mutex mutex;
  static std::map<std::string, std::optional<std::regex>> built;
  std::lock_guard lock(mutex);
  const auto [at, added] = built.try_emplace(pattern);
  if (added) {
    try {
      constexpr auto flags = std::regex::ECMAScript | std::regex::icase;
      // Our library takes ".**x" although a '*' may not repeat a repeat; the
      // pattern alone still shows a word that begins with '*' to be no expression.
      const std::regex alone(pattern, flags);
      at->second.emplace(".*" + pattern + ".*", flags);
    } catch (...) {
      at->second.reset();
    }
  }
  return at->second ? &*at->second : nullptr;
}

}  // namespace

bool gf_wildcardMatch(const std::string& name, const std::string& pattern) {
  // A pattern without any special character is a plain word: a search for it
  // answers as the expression does, without building two expressions per call
  // (the scan asks once per publisher word for every airport). A line break in
  // the name stops ".*", so such names still take the expression.
  if (pattern.find_first_of("^$\\.*+?()[]{}|") == std::string::npos &&
      name.find_first_of("\r\n") == std::string::npos) {
    if (pattern.empty()) return true;
    // The expressions ignore case as the classic locale does: ASCII letters only.
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(name.begin(), name.end(), pattern.begin(), pattern.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != name.end();
  }
  try {
    const std::regex* expression = lf_wildcardExpression(pattern);
    return expression != nullptr && std::regex_match(name, *expression);
  } catch (...) {
    return false;
  }
}

std::string gf_publisherOf(const std::string& name) {
  for (const auto& entry : gPublishers) {
    for (const auto& word : entry) {
      const bool plain = word.size() <= name.size() && (word.empty() || name.find(word) != std::string::npos);
      if (plain || gf_wildcardMatch(name, word)) return entry.front();
    }
  }
  return "unknown";
}

bool lf_parsePrefixedNumber(const std::string& publisher, const std::string& ident, int& number,
                            const std::string& word) {
  if (!word.starts_with(ident)) return false;
  try {
    number = std::stoi(word.substr(4));
  } catch (const std::exception& error) {
    gf_log(sk::format("{} {} {} {}", publisher, ident, word, error.what()));
  }
  return true;
}

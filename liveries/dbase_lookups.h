#pragma once
// Read-only queries of the aircraft and airline data base; callable from any
// thread once the data base is read. None throws on an absent code.
#include <optional>
#include <string>
#include <vector>

#include "liveries/dbase.h"

// Size category 0..5 of a model (0 Light when the model is in no category set).
int gf_categoryOf(const std::string& model);
// Half the wing span of a model in nautical miles; its category's mean when unknown.
double gf_wingspanOf(const std::string& model);
bool gf_isValidModel(const std::string& model);
bool gf_isValidAirline(const std::string& airline);
// Fills gCategoryWingspans from gWingspans; a category without entries stays 0.0.
void lf_averageWingspans();

// The keys a registration is looked up under, in order: PHBXA gives PH-BXA,
// P-HBXA, PHBXA; N-registrations, short ones and hyphenated ones only themselves.
std::vector<std::string> gf_regcodeCandidates(const std::string& registration);
// Exact key lookup; out is left alone when the key is unknown.
bool gf_findDbaseRecord(std::optional<DbaseRecord>& out, const std::string& key);
// The first record found under the registration's candidate keys.
std::optional<DbaseRecord> gf_dbaseRecordOf(const std::string& registration);
std::string gf_dbaseAirlineOf(const std::string& registration);
std::string gf_dbaseModelOf(const std::string& registration);
std::string gf_dbaseOperatorOf(const std::string& registration);
// The first private ("PVT") registration of under 5 characters in the text.
std::string gf_privateRegcodeIn(const std::string& text);

// Case-insensitive: the pattern, taken as a regular expression, anywhere in the
// name; an invalid pattern gives false.
bool gf_wildcardMatch(const std::string& name, const std::string& pattern);
// The first publisher with a word in the name; "unknown" when none.
std::string gf_publisherOf(const std::string& name);

// The stand count after the first four characters of a thirdparty airport word.
// False when the word does not begin with the ident; a failed conversion is
// logged and leaves number alone, and still answers true.
bool lf_parsePrefixedNumber(const std::string& publisher, const std::string& ident, int& number,
                            const std::string& word);
// Bound to the publisher, the ident and the number; called with one word.
inline auto gf_parsePrefixedNumber(const std::string& publisher, const std::string& ident, int& number) {
  return [&publisher, &ident, &number](const std::string& word) {
    return lf_parsePrefixedNumber(publisher, ident, number, word);
  };
}

#pragma once
// Similar models: the data base's similar groups restricted to installed
// liveries, asked by the matching ladder when no livery of the exact type exists.
// Built on the start-up thread; afterwards only the main loop asks, and the
// answers are reordered in place, so they are never asked from two threads.
#include <string>
#include <unordered_map>
#include <vector>

// The four questions the build asks of the scanned-livery tables.
class InstalledLiveries {
 public:
  virtual ~InstalledLiveries() = default;
  // The model has liveries in the passenger or cargo model table.
  virtual bool isKnownModel(const std::string& model) const = 0;
  virtual bool hasLiveryForAirlineModel(const std::string& airline, const std::string& model) const = 0;
  // The first three characters of every airline key, in the airline table's order.
  virtual std::vector<std::string> airlineCodes() const = 0;
  // Installed models of category 0 Light, 1 Buzjets or 5 Rotorcraft.
  virtual const std::vector<std::string>& categoryModels(int category) const = 0;
};

// The tables the build reads; bound by the owner of the scanned-livery tables.
void gf_setInstalledLiveries(const InstalledLiveries* tables);

using ModelLists = std::unordered_map<std::string, std::vector<std::string>>;
extern ModelLists gSimilarModels;
extern std::unordered_map<std::string, ModelLists> gSimilarModelsByAirline;

// Empties both tables, then builds them and logs their size. The one place
// where they are emptied.
void gf_readSimilarModels();

// The similar models of the type for which the airline has liveries; the
// lists are the tables' own (or a shared one): read them before the next call.
const std::vector<std::string>& lf_similarModelsOf(const std::string& airline, const std::string& type);
// The similar models of a model, or one installed model of its category for a
// Light, Buzjet or Rotorcraft model without a group.
const std::vector<std::string>& lf_similarModelsFor(const std::string& model);

#pragma once
// The livery tables the matching reads. gLiveriesByAirline owns every title
// text; every other table here holds views into it. They are built on the
// start-up thread before traffic starts, only read while it runs, and cleared
// together (the owner last) where no reader can be: gf_serveLiveryClearing.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct LiveryEntry {
  std::string title;
  bool cargo = false;
};

using ModelLiveries = std::unordered_map<std::string, std::vector<LiveryEntry>>;
using TitleViews = std::vector<std::string_view>;
using TitlesByModel = std::unordered_map<std::string, TitleViews>;

// Index of the passenger and the cargo table of a pair.
inline constexpr std::size_t kPax = 0;
inline constexpr std::size_t kCargo = 1;

// airline -> model -> {title, cargo}: the owner of the title texts.
extern std::unordered_map<std::string, ModelLiveries> gLiveriesByAirline;
// model -> titles, passenger and cargo.
extern std::array<TitlesByModel, 2> gLiveriesByModel;
// airline -> model -> titles, passenger and cargo (built by the matching's set-up).
extern std::array<std::unordered_map<std::string, TitlesByModel>, 2> gLiveriesByModelAirline;
// registration -> title (filled by the regcode processing).
extern std::unordered_map<std::string, std::string_view> gLiveriesByRegistration;
// Titles bound to registrations only; never picked by airline and type. The
// list keeps repeats (its size is logged); the index answers membership.
extern TitleViews gSpecialLiveries;
extern std::unordered_set<std::string_view> gSpecialLiveryIndex;
// Installed models of Light, Buzjets and Rotorcraft, ascending.
extern std::array<std::vector<std::string>, 3> gCategoryModels;
// Live matches per ladder step (index = step - 1), for the whole process.
extern std::array<std::atomic<std::uint32_t>, 6> gMatchesPerStep;

// The gCategoryModels list of category 0, 1 or 5; nullptr for the others.
std::vector<std::string>* gf_categoryModelList(int category);

// From gScannedLiveries, sorted by airline, model and title.
void lf_buildLiveriesByAirline();
void lf_buildModelSets();

// The stored copy of a title; an empty view when it is not installed. Asked for
// every in-line and regcode entry: answered from an index built with the table.
std::string_view gf_findStoredTitle(const std::string& title);
bool gf_hasLiveryForAirlineModel(const std::string& airline, const std::string& model);
bool gf_isKnownModel(const std::string& model);
// The first three characters of every airline key, in table order, repeats kept.
std::vector<std::string> gf_getAirlineCodes();

// Empties every table above but the counters, the owner last.
void gf_clearLiveryCodeLists();

// The Log.txt summaries of the processing.
void lf_listGenericLiveries();
void lf_summariseCategories(int category);

#pragma once
// Texts several subsystems must spell alike: one definition each, so that a
// reader and a writer of the same file or record never drift apart.
// (Single punctuation marks are left as literals where they are used.)
#include <string_view>

// The shared empty text.
inline constexpr std::string_view kEmptyText = "";

// Attribute names of parameters.xml, the meta block and the per-airport files.
inline constexpr std::string_view kNameAttribute = "name";
inline constexpr std::string_view kValueAttribute = "value";

inline constexpr std::string_view kNewline = "\n";

// A line of a regcode file starting with this is a comment.
inline constexpr std::string_view kCommentMark = "#";

// The two items of a model fix of the data base.
inline constexpr std::string_view kFixWrongKey = "wro";
inline constexpr std::string_view kFixCorrectKey = "cor";

// The airline code the livery scan gives to generic liveries.
inline constexpr std::string_view kGenericAirline = "ZZZ";

// The heads of a livery section of aircraft.cfg, in both spellings files use.
inline constexpr std::string_view kFltsimSection = "[fltsim.";
inline constexpr std::string_view kFltsimSectionUpper = "[FLTSIM.";

// Added to a counted word in messages when the count is not 1.
inline constexpr std::string_view kPluralEnding = "s";

// Callsigns of towed aircraft begin with this.
inline constexpr std::string_view kTowPrefix = "TOW ";

// Keys of the per-airport files.
inline constexpr std::string_view kQfRealKey = "Qf_real";
inline constexpr std::string_view kQfSoftKey = "Qf_soft";
inline constexpr std::string_view kManufacturerKey = "manufacturer";
inline constexpr std::string_view kCreatorKey = "creator";
inline constexpr std::string_view kRtTrafficWeekKey = "RT_traffic_week";
inline constexpr std::string_view kNumParkposKey = "num_parkpos";
inline constexpr std::string_view kAltitudeKey = "altitude";
inline constexpr std::string_view kHandmadeKey = "handmade";
inline constexpr std::string_view kPublisherKey = "publisher";
inline constexpr std::string_view kAirportNameKey = "airport_name";

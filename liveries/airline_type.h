#pragma once
// The airline/type label of every record that begins with an airline code and
// an aircraft type text (the live aircraft's key, a livery, a stand option):
// one template, so that log lines print them all alike.
#include <concepts>
#include <string>
#include <string_view>

#include "core/format.h"

// The airline member is named operatorCode, airline or airl (a livery); the type member type.
template <typename Record>
concept AirlineTypeRecord = requires(const Record& record) {
  { record.type } -> std::convertible_to<std::string_view>;
} && (requires(const Record& record) {
  { record.operatorCode } -> std::convertible_to<std::string_view>;
} || requires(const Record& record) {
  { record.airline } -> std::convertible_to<std::string_view>;
} || requires(const Record& record) {
  { record.airl } -> std::convertible_to<std::string_view>;
});

template <AirlineTypeRecord Record>
std::string_view gf_airlineOf(const Record& record) {
  if constexpr (requires { record.operatorCode; }) {
    return record.operatorCode;
  } else if constexpr (requires { record.airline; }) {
    return record.airline;
  } else {
    return record.airl;
  }
}

// "{:3} {:4}": the airline padded to 3, a blank, the type padded to 4.
template <AirlineTypeRecord Record>
std::string gf_airlineTypeLabel(const Record& record) {
  return sk::format("{:3} {:4}", gf_airlineOf(record), std::string_view(record.type));
}

// Both records name the same airline and the same type.
template <AirlineTypeRecord First, AirlineTypeRecord Second>
bool gf_sameAirlineType(const First& first, const Second& second) {
  return gf_airlineOf(first) == gf_airlineOf(second) && std::string_view(first.type) == std::string_view(second.type);
}

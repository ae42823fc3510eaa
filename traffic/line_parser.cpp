// The traffic line: one aircraft per datagram, comma-separated fields.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_set>

#include "airports/apf_loading.h"
#include "core/clock.h"
#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/texts.h"
#include "core/util.h"
#include "shell/auto_range.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace {

// Field numbers of the line.
enum Field : std::size_t {
  F_HEXID = 1,
  F_LATITUDE = 2,
  F_LONGITUDE = 3,
  F_ALTITUDE = 4,
  F_VERTICAL_SPEED = 5,
  F_TRACK = 7,
  F_GROUND_SPEED = 8,
  F_CALLSIGN = 9,
  F_TYPE = 10,
  F_REGISTRATION = 11,
  F_ORIGIN = 12,
  F_DESTINATION = 13,
  F_TIMESTAMP = 14,
  F_FLAG = 15,
  F_SOURCE = 17,
  F_TRUE_AIRSPEED = 20,
  F_ROLL = 23,
  F_TRUE_HEADING = 25,
  F_CATEGORY = 28,
};
constexpr std::size_t kFieldsRead = F_CATEGORY + 1;

constexpr double kGroundRadiusNm = 5.0;
constexpr double kHighAboveParkFeet = 3000.0;
constexpr double kUnknownElevation = -1000.0;
constexpr std::size_t kMaxRegistrationLength = 12;

// The number at the start of the field; a field that does not begin with one,
// or gives infinity or NaN, fails with the code and text.
template <typename... Args>
double lf_number(std::string_view field, int code, sk::format_string<Args...> text, Args&&... args) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || !std::isfinite(value))
    throw qlx::SysErrorException(code, sk::format(text, std::forward<Args>(args)...));
  return value;
}

double lf_number(std::string_view field, int code, std::string_view label) {
  return lf_number(field, code, "{}{}", label, field);
}

// Real lines carry blanks around some fields (" N35953", " 0.5"): a blank is
// never part of a value, and a registration with one would never match.
std::string_view lf_trimmed(std::string_view field) {
  const std::size_t first = field.find_first_not_of(gTrimChars);
  if (first == std::string_view::npos) return {};
  return field.substr(first, field.find_last_not_of(gTrimChars) - first + 1);
}

std::string_view lf_unlessNull(std::string_view field) {
  return field == "null" ? std::string_view() : field;
}

bool lf_acceptCategory(std::string_view category, std::string_view type) {
  static const std::unordered_set<std::string_view> droppedCategories{"B1", "B2", "B4", "C1", "C2"};
  static const std::unordered_set<std::string_view> droppedTypes{"GRND", "GLID", "SERV", "BALL",
                                                                 "PARA", "SHIP", "EMER"};
  if (category.empty() || droppedCategories.contains(category)) return false;
  if (type.empty() || type.size() > 4) return false;
  return !droppedTypes.contains(type);
}

// The callsign of the line; false when the line is to be dropped for it.
bool lf_takeCallsign(std::string_view field, std::string& callsign) {
  const std::string_view text = lf_unlessNull(field);
  if (text.starts_with(kTowPrefix) || text == "ERARMTR0") return false;
  if (text.find('@') == std::string_view::npos) callsign.assign(text);
  return true;
}

// On the ground when close enough to the reference elevation and slow enough.
bool lf_nearGround(double altitude, double reference, double groundSpeed) {
  const double d = altitude - reference;
  if (d <= 0.0) return true;
  return (d <= 45.0 && groundSpeed <= 120.0) || (d <= 90.0 && groundSpeed <= 80.0) ||
         (d <= 120.0 && groundSpeed <= 43.0);
}

double lf_defaultTrueAirspeed(double altitude) {
  if (altitude <= 2000.0) return 180.0;
  if (altitude <= 5000.0) return 220.0;
  if (altitude <= 10000.0) return 250.0;
  if (altitude <= 20000.0) return 350.0;
  return 430.0;
}

}  // namespace

std::string gf_latLonText(const LatLon& position) {
  return sk::format("{:.6f},{:.6f}", position.lat, position.lon);
}

bool gf_isRealPosition(const LatLon& position) {
  return !(position.lat >= 0.0 && position.lat <= 0.0009 && position.lon >= 0.0 &&
           position.lon <= 0.05);
}

void TrafficReader::onDatagram(std::string_view datagram) { lf_onTrafficDatagram(*this, datagram); }

void lf_onTrafficDatagram(TrafficReader& reader, std::string_view datagram) {
  if (datagram.find(" VEH") != std::string_view::npos) return;
  reader.m_line = datagram;
  auto& fields = reader.m_fields;
  fields.clear();
  std::size_t start = 0;
  for (std::size_t comma = datagram.find(','); comma != std::string_view::npos;
       comma = datagram.find(',', start)) {
    fields.push_back(lf_trimmed(datagram.substr(start, comma - start)));
    start = comma + 1;
  }
  if (const std::string_view last = lf_trimmed(datagram.substr(std::min(start, datagram.size())));
      !last.empty())
    fields.push_back(last);
  reader.processLine();
}

void TrafficReader::processLine() {
  try {
    // A short line would have us read past its fields.
    if (m_fields.size() < kFieldsRead) return;
    const auto field = [this](Field f) { return m_fields[f]; };
    const Surroundings around = surroundings();
    TrafficRecord record;
    TrackPoint& point = record.point;
    ModelKey& key = record.key;

    const double timestamp = lf_number(field(F_TIMESTAMP), 741, "timestamp:");
    gRtDataTime.store(timestamp);
    record.timestamp = timestamp;
    record.point.timestamp = timestamp;

    const std::string_view registration = field(F_REGISTRATION);
    if (registration.size() <= kMaxRegistrationLength && registration != "null")
      key.registration.assign(registration);
    if (key.registration.empty() && field(F_FLAG) == "F") return;

    point.latitude = lf_number(field(F_LATITUDE), 742, "lat:");
    point.longitude = lf_number(field(F_LONGITUDE), 743, "lon:");
    const LatLon position{point.latitude, point.longitude};
    if (point.latitude < -90.0 || point.latitude > 90.0 || point.longitude < -180.0 ||
        point.longitude > 180.0 || !gf_isRealPosition(position))
      throw qlx::SysErrorException(744, sk::format("lalo:{}", gf_latLonText(position)));

    if (gf_distanceNm(around.user, position) > gLateralRangeNm) return;

    if (m_collectCallsigns.load()) {
      const std::string_view callsign = field(F_CALLSIGN);
      if (!callsign.empty() && callsign != "null" && callsign.find('@') == std::string_view::npos) {
        std::lock_guard lock(m_stateMutex);
        m_seenCallsigns.emplace(callsign);
      }
    }

    const std::string_view type = field(F_TYPE);
    if (type != "null" && type != "0" && type != "ZZZZ") key.type.assign(type);
    if (!lf_acceptCategory(field(F_CATEGORY), key.type)) return;

    if (field(F_SOURCE) == "adsb_icao") {
      const double heading = lf_number(field(F_TRUE_HEADING), 745, "true heading:");
      if (heading > 360.0)
        throw qlx::SysErrorException(746, sk::format("true heading:{:.2F}", heading));
      if (heading == 0.0) {
        point.heading = TWO_PI;
      } else if (heading > 0.0) {
        point.heading = heading * DEG_TO_RAD;
      }
      point.headingValid = point.heading ? 1 : 0;
    }

    const std::string_view hexidText = field(F_HEXID);
    std::uint32_t hexid = 0;
    if (std::from_chars(hexidText.data(), hexidText.data() + hexidText.size(), hexid).ec != std::errc())
      throw qlx::SysErrorException(640, sk::format("hexid incorrect{}", hexidText));
    if (hexid <= 10000) return;
    record.hexid = hexid;

    point.groundSpeed = lf_number(field(F_GROUND_SPEED), 747, "gs:");

    const std::string_view altitudeText = field(F_ALTITUDE);
    double altitude =
        lf_number(altitudeText, 641, "altitude {} incorrect, from: {}", altitudeText, m_line);
    if (altitude <= 0.0) {
      altitude = 0.0;
    } else if (altitude < 14000.0 &&
               lf_nearGround(altitude, around.parkElevation.value_or(kUnknownElevation),
                             point.groundSpeed)) {
      altitude = 0.0;
    }
    if (altitude > 0.0 && point.groundSpeed <= 35.0) altitude = 0.0;
    point.altitude = altitude;
    point.airborne = altitude > 0.0 ? 1 : 0;
    if (point.airborne && gAutoRangeAtTen.load() && gParkAirportLoaded.load() &&
        around.parkElevation && altitude > *around.parkElevation + kHighAboveParkFeet)
      return;

    if (!lf_takeCallsign(field(F_CALLSIGN), key.callsign)) return;
    if (key.registration.empty() && key.callsign.empty()) return;

    if (!point.airborne &&
        !(around.parkAirport && gf_distanceNm(position, *around.parkAirport) <= kGroundRadiusNm))
      return;

    const std::string_view track = field(F_TRACK);
    if (!track.empty()) {
      point.track = lf_number(track, 648, "track incorrect ");
    } else {
      point.track = point.heading ? *point.heading * RAD_TO_DEG : 0.0;
    }

    point.verticalSpeed = lf_number(field(F_VERTICAL_SPEED), 748, "vs:");
    key.origin.assign(lf_unlessNull(field(F_ORIGIN)));
    key.destination.assign(lf_unlessNull(field(F_DESTINATION)));

    if (point.airborne) {
      const double roll = lf_number(field(F_ROLL), 750, "roll:");
      if (roll != -1.0 && roll != 0.0) point.roll = -roll * DEG_TO_RAD;
    }

    const double trueAirspeed = lf_number(field(F_TRUE_AIRSPEED), 691, "TAS incorrect");
    point.trueAirspeed = trueAirspeed == -1.0 ? lf_defaultTrueAirspeed(altitude) : trueAirspeed;

    point.stationary = 0;
    gf_queueUpdate(std::move(record));
  } catch (const qlx::SysErrorException&) {
    // A malformed line is dropped quietly; the next one comes soon.
  } catch (const std::exception& e) {
    m_inputErrorLog.logLine(sk::format("exception in processLine: {}", e.what()));
  }
}

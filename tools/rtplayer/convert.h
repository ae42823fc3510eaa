#pragma once
// Position reports as open flight-tracking networks publish them, one CSV row per report:
//   time, hex id, callsign, latitude, longitude, baro altitude, ground speed, track,
//   vertical rate, on-ground[, registration[, type]]
// are turned into a replay file of RealTraffic traffic lines, ordered by time.
#include <string>
#include <string_view>
#include <vector>

namespace rtplay {

enum class ReportUnits {
  Metric,    // metres, metres per second, metres per second (the open networks' form)
  Aviation,  // feet, knots, feet per minute
};

struct ConvertResult {
  std::string replay;
  int reports = 0;  // data rows read
  int lines = 0;    // traffic lines written
  std::vector<std::string> warnings;
};

ConvertResult gf_convertPositionReports(std::string_view csv, ReportUnits units);

}  // namespace rtplay

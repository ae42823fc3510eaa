#include "airports/bgl_airports.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <span>

#include "airports/airport_list.h"
#include "core/format.h"
#include "core/log.h"

void BglAirportActions::scanLog(const std::string&) {}
bool BglAirportActions::publisherAndLink(ApfAirport&, std::int32_t&) { return false; }
void BglAirportActions::generateApf(ApfAirport&) {}
void BglAirportActions::notRecognisedAirport() {}

namespace {

constexpr std::uint64_t kHeaderSize = 0x38;
constexpr std::uint64_t kSectionEntry = 20;
constexpr std::uint64_t kSubsectionEntry = 16;
constexpr std::uint32_t kRecordHeader = 6;
constexpr std::uint32_t kAirportFixed = 0x44;
constexpr std::uint32_t kHelipadFields = 0x20;
constexpr std::uint32_t kParkingEntry = 56;
constexpr double kLongitudeFactor = 4.470348358154297e-7;
constexpr double kLatitudeFactor = 3.3527612686157227e-7;
constexpr double kFullCircle = 6.283185307179586;
constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr std::array<const char*, 6> kSuffixes{"a", "b", "c", "d", "e", "f"};

using Bytes = std::span<const char>;

// Callers check that the value lies inside the bytes.
template <typename T>
T lf_get(Bytes bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

bool lf_fits(Bytes bytes, std::size_t offset, std::size_t width) {
  return offset <= bytes.size() && width <= bytes.size() - offset;
}

// The bytes of a scenery file, by positioned reads of the file or of bytes in memory.
class BglFile {
 public:
  explicit BglFile(const std::filesystem::path& path) {
    // Unbuffered: the small reads come from the window below, the large ones
    // go straight into the caller's buffer.
    m_stream.rdbuf()->pubsetbuf(nullptr, 0);
    m_stream.open(path, std::ios::binary);
    if (!m_stream) return;
    m_open = true;
    m_stream.seekg(0, std::ios::end);
    const std::streamoff end = m_stream.tellg();
    m_size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  }
  explicit BglFile(std::string_view bytes) : m_bytes(bytes), m_open(true), m_size(bytes.size()) {}
  bool isOpen() const { return m_open; }
  std::uint64_t size() const { return m_size; }
  // Reads [offset, offset + count); the range lies inside the file.
  bool read(std::uint64_t offset, std::size_t count, std::vector<char>& out) {
    out.resize(count);
    if (count == 0) return true;
    if (m_bytes.data() != nullptr) {
      std::memcpy(out.data(), m_bytes.data() + offset, count);
      return true;
    }
    if (count >= kWindow) return readFile(offset, count, out.data());
    // The header, the section table and a subsection table are read entry by
    // entry: one read of the file serves the entries that follow.
    if (offset < m_windowStart || offset + count > m_windowStart + m_window.size()) {
      m_window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - offset)));
      m_windowStart = offset;
      if (!readFile(offset, m_window.size(), m_window.data())) {
        m_window.clear();
        return false;
      }
    }
    std::memcpy(out.data(), m_window.data() + (offset - m_windowStart), count);
    return true;
  }

 private:
  static constexpr std::size_t kWindow = 4096;

  bool readFile(std::uint64_t offset, std::size_t count, char* into) {
    m_stream.clear();
    m_stream.seekg(static_cast<std::streamoff>(offset));
    m_stream.read(into, static_cast<std::streamsize>(count));
    return m_stream.gcount() == static_cast<std::streamsize>(count);
  }

  std::ifstream m_stream;
  std::string_view m_bytes;
  bool m_open = false;
  std::uint64_t m_size = 0;
  std::vector<char> m_window;
  std::uint64_t m_windowStart = 0;
};

std::string lf_positionText(double latitude, double longitude) {
  return sk::format("{:.6f},{:.6f}", latitude, longitude);
}

bool lf_positionIncorrect(double latitude, double longitude) {
  if (!(latitude >= -90.0 && latitude <= 90.0) || !(longitude >= -180.0 && longitude <= 180.0)) return true;
  return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

class BglDecoder {
 public:
  BglDecoder(BglFile& file, std::string path, bool msfs2020, BglAirportActions& actions)
      : m_file(file), m_path(std::move(path)), m_msfs2020(msfs2020), m_actions(actions) {}

  BglFileResult run() {
    if (!m_file.isOpen() || m_file.size() <= kHeaderSize) return std::move(m_result);
    std::vector<char> header;
    if (!m_file.read(0, kHeaderSize, header) || lf_get<std::uint32_t>(header, 0x04) != kHeaderSize)
      return std::move(m_result);
    const std::uint64_t sections = lf_get<std::uint32_t>(header, 0x14);
    std::vector<char> entry;
    for (std::uint64_t i = 0; i < sections && !m_stopped; ++i) {
      const std::uint64_t at = kHeaderSize + kSectionEntry * i;
      if (at + kSectionEntry > m_file.size() || !m_file.read(at, kSectionEntry, entry)) break;
      const std::uint32_t sizeCode = lf_get<std::uint32_t>(entry, 0x04);
      if (lf_get<std::uint32_t>(entry, 0x00) != 3 || (((sizeCode & 0x10000U) | 0x40000U) >> 14) != kSubsectionEntry)
        continue;
      walkSection(lf_get<std::uint32_t>(entry, 0x08), lf_get<std::uint32_t>(entry, 0x0C));
    }
    return std::move(m_result);
  }

 private:
  void log(std::string line) {
    m_actions.scanLog(line);
    m_result.log.push_back(std::move(line));
  }

  void walkSection(std::uint64_t subsections, std::uint64_t tableOffset) {
    std::vector<char> entry;
    std::vector<char> data;
    for (std::uint64_t j = 0; j < subsections && !m_stopped; ++j) {
      const std::uint64_t at = tableOffset + kSubsectionEntry * j;
      if (at + kSubsectionEntry > m_file.size() || !m_file.read(at, kSubsectionEntry, entry)) return;
      const std::uint64_t offset = lf_get<std::uint32_t>(entry, 0x08);
      if (offset >= m_file.size()) continue;
      const std::uint64_t size = std::min<std::uint64_t>(lf_get<std::uint32_t>(entry, 0x0C), m_file.size() - offset);
      // Well-formed subsections do not overlap, so more than the file walked means a hostile table.
      m_walked += size;
      if (m_walked > m_file.size()) {
        log(sk::format("{}airport subsections overlap, rest not read, in {}", "===> ", m_path));
        m_stopped = true;
        return;
      }
      if (!m_file.read(offset, static_cast<std::size_t>(size), data)) return;
      walkRecords(data, offset);
    }
  }

  void logCrossing(std::uint16_t id, std::uint32_t size, std::uint64_t offset) {
    log(sk::format("{}record 0x{:04X} of {} bytes at {} crosses the end of its region, rest not read, in {}", "===> ",
                   id, size, offset, m_path));
  }

  void walkRecords(Bytes region, std::uint64_t regionOffset) {
    std::size_t at = 0;
    while (lf_fits(region, at, kRecordHeader)) {
      const auto id = lf_get<std::uint16_t>(region, at);
      const auto size = lf_get<std::uint32_t>(region, at + 2);
      if (size < kRecordHeader) return;
      if (!lf_fits(region, at, size)) {
        logCrossing(id, size, regionOffset + at);
        return;
      }
      if (id == 0x0113 && !m_msfs2020) {
        m_result.notRecognised = true;
        m_stopped = true;
        m_actions.notRecognisedAirport();
        return;
      }
      if (id == 0x0056 && size >= kAirportFixed) {
        const Bytes record = region.subspan(at, size);
        bool valid = false;
        std::string icao = lf_decodeIdentifierOrRegionCode(lf_get<std::uint32_t>(record, 0x28), valid);
        if (valid) readAirportRecord(record, regionOffset + at, std::move(icao));
      }
      at += size;
    }
  }

  void readAirportRecord(Bytes record, std::uint64_t recordOffset, std::string icao) {
    ApfAirport airport;
    airport.icao = std::move(icao);
    airport.BGLpath = m_path;
    std::int32_t archived = 0;
    const bool linked = m_actions.publisherAndLink(airport, archived);
    if (!m_msfs2020 && linked) return;
    const double feet = std::round(lf_get<std::int32_t>(record, 0x14) * 3.2808399 / 1000.0);
    airport.altitude = feet >= -20.0 && feet <= 10000.0 ? static_cast<std::int32_t>(feet) : 0;
    if (const auto name = gAirportNames.find(airport.icao); name != gAirportNames.end())
      airport.airport_name = name->second;
    m_names.clear();
    m_helipads.clear();
    m_helipadCounter = 1;
    m_suffixed = false;
    std::size_t at = kAirportFixed;
    while (lf_fits(record, at, kRecordHeader)) {
      const auto id = lf_get<std::uint16_t>(record, at);
      const auto size = lf_get<std::uint32_t>(record, at + 2);
      if (size < kRecordHeader) break;
      if (!lf_fits(record, at, size)) {
        logCrossing(id, size, recordOffset + at);
        break;
      }
      const Bytes sub = record.subspan(at, size);
      if (id == 0x0026 && size >= kHelipadFields) readHelipad(sub, airport);
      if (id == 0x00E7) {
        readParkingList(sub, airport);
        break;
      }
      at += size;
    }
    if (m_suffixed) lf_resolveDuplicateStands(airport);
    const auto stands = static_cast<std::int32_t>(airport.stands.size());
    if (stands > archived && airport.publisher != "simaddon")
      log(sk::format("{}{} has {} parkpos while archived one has {}", "===> ", airport.icao, stands, archived));
    m_result.airports.push_back(std::move(airport));
    if (!linked || (stands > archived && m_result.airports.back().publisher != "simaddon"))
      m_actions.generateApf(m_result.airports.back());
  }

  void readHelipad(Bytes sub, ApfAirport& airport) {
    const double longitude = lf_get<std::uint32_t>(sub, 0x0C) * kLongitudeFactor - 180.0;
    const double latitude = 90.0 - lf_get<std::uint32_t>(sub, 0x10) * kLatitudeFactor;
    const float size = lf_get<float>(sub, 0x1C);
    if (lf_positionIncorrect(latitude, longitude)) {
      log("lat/lon helipad incorrect (skipped): " + lf_positionText(latitude, longitude));
      return;
    }
    const std::pair position{latitude, longitude};
    if (std::find(m_helipads.begin(), m_helipads.end(), position) != m_helipads.end()) {
      log("double helipad " + airport.airport_name + " (skipped) " + lf_positionText(latitude, longitude));
      return;
    }
    m_helipads.push_back(position);
    airport.stands.emplace_back(sk::format("helipad{}", m_helipadCounter), std::vector<StandOption>{},
                                StandPosition{latitude, longitude, 0.0}, size / 2.0, false, false, true);
    ++m_helipadCounter;
  }

  void readParkingList(Bytes sub, ApfAirport& airport) {
    if (!lf_fits(sub, 6, 2)) return;
    const std::uint32_t count = lf_get<std::uint16_t>(sub, 6);
    std::size_t at = 8;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!lf_fits(sub, at, kParkingEntry)) {
        log(sk::format("{}parking list holds {} of its {} entries, the rest not read, in {}", "===> ", i, count,
                       m_path));
        return;
      }
      const Bytes entry = sub.subspan(at, kParkingEntry);
      const auto packed = lf_get<std::uint32_t>(entry, 0);
      at += kParkingEntry + 4 * std::size_t{packed >> 24};
      readParkingSpot(entry, packed, airport);
    }
  }

  void readParkingSpot(Bytes entry, std::uint32_t packed, ApfAirport& airport) {
    const float radius = lf_get<float>(entry, 0x04);
    if (!(radius > 1.0F && radius < 200.0F)) {
      log(sk::format("skipped position with radius {:.1F} meters, in {}", radius, m_path));
      return;
    }
    const std::string identifier = lf_parkingName(packed & 0x3FU) + sk::format("{}", (packed >> 12) & 0xFFFU);
    const std::uint32_t type = (packed >> 8) & 0xFU;
    if (type == 0 || type == 12 || type == 13) return;
    const double longitude = lf_get<std::uint32_t>(entry, 0x1C) * kLongitudeFactor - 180.0;
    const double latitude = 90.0 - lf_get<std::uint32_t>(entry, 0x20) * kLatitudeFactor;
    if (lf_positionIncorrect(latitude, longitude)) {
      log(sk::format("lat/lon: {}, incorrect (skipped) ", lf_positionText(latitude, longitude)));
      return;
    }
    std::string name = identifier;
    bool suffixed = false;
    if (!m_names.insert(name).second) {
      m_suffixed = true;
      suffixed = true;
      name.clear();
      for (const char* suffix : kSuffixes) {
        if (m_names.insert(identifier + suffix).second) {
          name = identifier + suffix;
          break;
        }
      }
      if (name.empty()) {
        log(sk::format("{}Warning more then 6 the same ids {}, in {}", "===> ", identifier, m_path));
        return;
      }
    }
    const float degrees = lf_get<float>(entry, 0x08);
    const double heading = degrees == 0.0F ? kFullCircle : degrees * kRadiansPerDegree;
    Stand& stand = airport.stands.emplace_back(std::move(name), std::vector<StandOption>{},
                                               StandPosition{latitude, longitude, heading}, radius, type == 5,
                                               (type >= 1 && type <= 7) || type == 14, false);
    stand.suffixedDuplicate = suffixed;
  }

  BglFile& m_file;
  std::string m_path;
  bool m_msfs2020;
  BglAirportActions& m_actions;
  BglFileResult m_result;
  bool m_stopped = false;
  std::uint64_t m_walked = 0;
  std::set<std::string> m_names;
  std::vector<std::pair<double, double>> m_helipads;
  int m_helipadCounter = 1;
  bool m_suffixed = false;
};

struct RenameRecord {
  std::string newName;
  std::string temporaryName;
  double radiusMetres = 0.0;
};

struct StandGroup {
  std::vector<RenameRecord> records;
  std::string base;
  int counter = 1;
};

bool lf_isGroupName(const std::string& name, const std::string& base) {
  if (name == base) return true;
  if (name.size() != base.size() + 1 || !name.starts_with(base)) return false;
  return name.back() >= 'a' && name.back() <= 'f';
}

void lf_makeStandId(StandGroup& group, Stand& stand) {
  if (!lf_isGroupName(stand.name, group.base)) return;
  stand.suffixedDuplicate = false;
  stand.name = sk::format("ulvar{}", group.counter++);
  group.records.push_back({{}, stand.name, stand.radius * 1852.0});
}


bool lf_hasAirports(BglFile& file) {
  if (!file.isOpen() || file.size() < 15) return false;
  std::vector<char> bytes;
  if (file.size() < kHeaderSize || !file.read(0, kHeaderSize, bytes)) return false;
  const std::uint64_t sections = lf_get<std::uint32_t>(bytes, 0x14);
  if (sections == 0 || file.size() <= kHeaderSize + kSectionEntry * sections) return false;
  if (!file.read(kHeaderSize, static_cast<std::size_t>(kSectionEntry * sections), bytes)) return false;
  for (std::uint64_t i = 0; i < sections; ++i)
    if (lf_get<std::uint32_t>(bytes, static_cast<std::size_t>(kSectionEntry * i)) == 3) return true;
  return false;
}

}  // namespace

BglFileResult gf_decodeBglFile(const std::filesystem::path& path, bool msfs2020, BglAirportActions& actions) {
  BglFile file(path);
  return BglDecoder(file, gf_pathToUtf8(path), msfs2020, actions).run();
}

BglFileResult gf_decodeBglBytes(std::string_view bytes, const std::string& path, bool msfs2020,
                                BglAirportActions& actions) {
  BglFile file(bytes);
  return BglDecoder(file, path, msfs2020, actions).run();
}

bool lf_bglHasAirports(const std::filesystem::path& path) {
  BglFile file(path);
  return lf_hasAirports(file);
}

bool gf_bglBytesHaveAirports(std::string_view bytes) {
  BglFile file(bytes);
  return lf_hasAirports(file);
}

std::string lf_parkingName(std::uint32_t code) {
  static constexpr std::array<const char*, 12> kNames{"",   "r",   "p",  "np",  "ep", "sep",
                                                      "sp", "swp", "wp", "nwp", "g",  ""};
  if (code < kNames.size()) return kNames[code];
  if (code < 64) return std::string(1, static_cast<char>(code + 53));
  return {};
}

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& valid) {
  try {
    std::uint32_t value = code >> 5;
    std::string text;
    if (value >= 38) {
      for (; value > 0; value /= 38) {
        const std::uint32_t digit = value % 38;
        char c = ' ';
        if (digit >= 2 && digit <= 11) c = static_cast<char>(digit + 46);
        if (digit == 1 || digit >= 12) c = static_cast<char>(digit + 53);
        text.insert(text.begin(), c);
      }
    }
    valid = text.size() == 4 && text.find(' ') == std::string::npos;
    return text;
  } catch (const std::exception&) {
    gf_log(sk::format("! Exception in {}", "lf_decodeIdentifierOrRegionCode"));
    valid = false;
    return {};
  }
}

void lf_resolveDuplicateStands(ApfAirport& airport) {
  for (;;) {
    const auto marked = std::find_if(airport.stands.begin(), airport.stands.end(),
                                     [](const Stand& stand) { return stand.suffixedDuplicate; });
    if (marked == airport.stands.end()) return;
    marked->suffixedDuplicate = false;
    StandGroup group;
    group.records.reserve(4);
    group.base = marked->name.substr(0, marked->name.size() - 1);
    for (Stand& stand : airport.stands) lf_makeStandId(group, stand);
    std::stable_sort(group.records.begin(), group.records.end(),
                     [](const RenameRecord& a, const RenameRecord& b) { return a.radiusMetres > b.radiusMetres; });
    for (std::size_t i = 0; i < group.records.size(); ++i)
      group.records[i].newName = i == 0 ? group.base : group.base + kSuffixes[std::min<std::size_t>(i - 1, 5)];
    for (Stand& stand : airport.stands) {
      for (const RenameRecord& record : group.records) {
        if (stand.name == record.temporaryName) {
          stand.name = record.newName;
          break;
        }
      }
    }
  }
}

#include "tools/bglwrite/bglwrite.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace bglw {
namespace {

constexpr std::uint32_t kHeaderSize = 0x38;
constexpr std::uint32_t kSectionEntry = 20;
constexpr std::uint32_t kSubsectionEntry = 16;
constexpr std::uint32_t kAirportFixed = 0x44;
constexpr std::uint32_t kHelipadSize = 0x24;
constexpr std::uint32_t kParkingEntry = 56;
constexpr std::uint32_t kCompiledSize = 0x30;

class Bytes {
 public:
  std::size_t size() const { return m_bytes.size(); }
  void zeros(std::size_t count) { m_bytes.append(count, '\0'); }
  template <typename T>
  void put(T value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    m_bytes.append(raw, sizeof(T));
  }
  template <typename T>
  void putAt(std::size_t offset, T value) {
    std::memcpy(m_bytes.data() + offset, &value, sizeof(T));
  }
  void append(const std::string& bytes) { m_bytes += bytes; }
  std::string take() { return std::move(m_bytes); }

 private:
  std::string m_bytes;
};

std::uint32_t lf_longitudeUnits(double longitude) {
  return static_cast<std::uint32_t>(std::llround((longitude + 180.0) * 805306368.0 / 360.0));
}
std::uint32_t lf_latitudeUnits(double latitude) {
  return static_cast<std::uint32_t>(std::llround((90.0 - latitude) * 536870912.0 / 180.0));
}

void lf_putHelipad(Bytes& out, const Helipad& helipad) {
  const std::size_t start = out.size();
  out.zeros(kHelipadSize);
  out.putAt<std::uint16_t>(start, 0x0026);
  out.putAt<std::uint32_t>(start + 2, kHelipadSize);
  out.putAt<std::uint32_t>(start + 0x0C, lf_longitudeUnits(helipad.longitude));
  out.putAt<std::uint32_t>(start + 0x10, lf_latitudeUnits(helipad.latitude));
  out.putAt<float>(start + 0x1C, helipad.size);
}

void lf_putParkingList(Bytes& out, const Airport& airport) {
  std::uint32_t size = 8;
  for (const ParkingSpot& spot : airport.spots) size += kParkingEntry + 4 * spot.airlineCodes;
  out.put<std::uint16_t>(0x00E7);
  out.put<std::uint32_t>(size);
  out.put<std::uint16_t>(airport.parkingCount.value_or(static_cast<std::uint16_t>(airport.spots.size())));
  for (const ParkingSpot& spot : airport.spots) {
    const std::size_t start = out.size();
    out.zeros(kParkingEntry + 4 * spot.airlineCodes);
    out.putAt<std::uint32_t>(start, (spot.nameCode & 0x3F) | ((spot.type & 0xF) << 8) |
                                        ((spot.number & 0xFFF) << 12) | ((spot.airlineCodes & 0xFF) << 24));
    out.putAt<float>(start + 0x04, spot.radius);
    out.putAt<float>(start + 0x08, spot.heading);
    out.putAt<std::uint32_t>(start + 0x1C, lf_longitudeUnits(spot.longitude));
    out.putAt<std::uint32_t>(start + 0x20, lf_latitudeUnits(spot.latitude));
  }
}

void lf_putAirport(Bytes& out, const Airport& airport) {
  const std::size_t start = out.size();
  if (airport.compiled2024) {
    out.zeros(kCompiledSize);
    out.putAt<std::uint16_t>(start, 0x0113);
    out.putAt<std::uint32_t>(start + 2, kCompiledSize);
    return;
  }
  out.zeros(kAirportFixed);
  out.putAt<std::uint16_t>(start, 0x0056);
  out.putAt<std::int32_t>(start + 0x14, airport.altitudeMm);
  out.putAt<std::uint32_t>(start + 0x28, gf_packIdentifier(airport.icao));
  for (const Helipad& helipad : airport.helipads) lf_putHelipad(out, helipad);
  if (!airport.spots.empty() || airport.parkingCount) lf_putParkingList(out, airport);
  out.putAt<std::uint32_t>(start + 2, static_cast<std::uint32_t>(out.size() - start));
}

void lf_putRecords(Bytes& out, const Section& section) {
  for (const Record& record : section.records) {
    if (record.airport) {
      lf_putAirport(out, *record.airport);
      continue;
    }
    const std::size_t start = out.size();
    out.zeros(std::max<std::uint32_t>(record.raw.size, 6));
    out.putAt<std::uint16_t>(start, record.raw.id);
    out.putAt<std::uint32_t>(start + 2, record.raw.size);
  }
  out.zeros(section.fillerSize);
}

Helipad lf_helipadOf(const nlohmann::json& json) {
  return {json.at("lat").get<double>(), json.at("lon").get<double>(), json.value("size", 20.0F)};
}

ParkingSpot lf_spotOf(const nlohmann::json& json) {
  ParkingSpot spot;
  spot.nameCode = json.value("name", spot.nameCode);
  spot.type = json.value("type", spot.type);
  spot.number = json.value("number", spot.number);
  spot.airlineCodes = json.value("airlines", spot.airlineCodes);
  spot.radius = json.value("radius", spot.radius);
  spot.heading = json.value("heading", spot.heading);
  spot.latitude = json.at("lat").get<double>();
  spot.longitude = json.at("lon").get<double>();
  return spot;
}

Record lf_recordOf(const nlohmann::json& json) {
  Record record;
  if (json.contains("raw_id")) {
    record.raw = {json.at("raw_id").get<std::uint16_t>(), json.at("size").get<std::uint32_t>()};
    return record;
  }
  Airport airport;
  airport.icao = json.at("icao").get<std::string>();
  airport.altitudeMm = json.value("altitude_mm", 0);
  airport.compiled2024 = json.value("compiled2024", false);
  if (json.contains("parking_count")) airport.parkingCount = json.at("parking_count").get<std::uint16_t>();
  for (const nlohmann::json& helipad : json.value("helipads", nlohmann::json::array()))
    airport.helipads.push_back(lf_helipadOf(helipad));
  for (const nlohmann::json& spot : json.value("spots", nlohmann::json::array())) airport.spots.push_back(lf_spotOf(spot));
  record.airport = std::move(airport);
  return record;
}

}  // namespace

std::uint32_t gf_packIdentifier(const std::string& icao) {
  std::uint32_t value = 0;
  for (const char c : icao) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0') + 2;
    if (c >= 'A' && c <= 'Z') digit = static_cast<std::uint32_t>(c - 'A') + 12;
    value = value * 38 + digit;
  }
  return value << 5;
}

std::string gf_bglBytes(const File& file) {
  const auto count = static_cast<std::uint32_t>(file.sections.size());
  Bytes out;
  out.zeros(kHeaderSize);
  out.putAt<std::uint32_t>(0, 0x19920201);
  out.putAt<std::uint32_t>(0x04, file.headerSize);
  out.putAt<std::uint32_t>(0x14, file.sectionCount.value_or(count));
  const std::size_t table = out.size();
  out.zeros(std::size_t{kSectionEntry} * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const Section& section = file.sections[i];
    const std::size_t entry = table + std::size_t{kSectionEntry} * i;
    const std::size_t subsections = out.size();
    out.zeros(kSubsectionEntry);
    const std::size_t data = out.size();
    lf_putRecords(out, section);
    const auto dataSize = static_cast<std::uint32_t>(out.size() - data);
    out.putAt<std::uint32_t>(entry, section.type);
    out.putAt<std::uint32_t>(entry + 0x04, section.sizeCodeBit ? 0x10001U : 0x1U);
    out.putAt<std::uint32_t>(entry + 0x08, 1);
    out.putAt<std::uint32_t>(entry + 0x0C, static_cast<std::uint32_t>(subsections));
    out.putAt<std::uint32_t>(entry + 0x10, kSubsectionEntry);
    out.putAt<std::uint32_t>(subsections, section.type);
    out.putAt<std::uint32_t>(subsections + 0x04, static_cast<std::uint32_t>(section.records.size()));
    out.putAt<std::uint32_t>(subsections + 0x08, static_cast<std::uint32_t>(data));
    out.putAt<std::uint32_t>(subsections + 0x0C, section.dataSize.value_or(dataSize));
  }
  out.zeros(file.trailingBytes);
  return out.take();
}

bool gf_writeBgl(const File& file, const std::filesystem::path& path) {
  const std::string bytes = gf_bglBytes(file);
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  stream.close();
  return static_cast<bool>(stream);
}

File gf_parseSpec(const std::string& text) {
  try {
    const nlohmann::json json = nlohmann::json::parse(text);
    File file;
    file.headerSize = json.value("header_size", file.headerSize);
    file.trailingBytes = json.value("trailing_bytes", file.trailingBytes);
    if (json.contains("section_count")) file.sectionCount = json.at("section_count").get<std::uint32_t>();
    for (const nlohmann::json& item : json.at("sections")) {
      Section section;
      section.type = item.value("type", section.type);
      section.fillerSize = item.value("filler_bytes", section.fillerSize);
      section.sizeCodeBit = item.value("size_code_bit", false);
      if (item.contains("data_size")) section.dataSize = item.at("data_size").get<std::uint32_t>();
      for (const nlohmann::json& record : item.value("records", nlohmann::json::array()))
        section.records.push_back(lf_recordOf(record));
      file.sections.push_back(std::move(section));
    }
    return file;
  } catch (const nlohmann::json::exception& error) {
    throw std::runtime_error(fmt::format("bad layout: {}", error.what()));
  }
}

Installation gf_writeInstallation(const std::filesystem::path& root, const InstallationOptions& options) {
  std::mt19937 random(options.seed);
  const auto draw = [&random](std::uint32_t low, std::uint32_t high) {
    return std::uniform_int_distribution<std::uint32_t>(low, std::max(low, high))(random);
  };
  Installation installation;
  std::set<std::string> icaos;
  const std::uint32_t packages = std::max<std::uint32_t>(options.packages, 1);
  for (std::uint32_t n = 0; n < options.files; ++n) {
    const std::uint32_t package = n % packages;
    const bool official = package % 3 == 0;
    const std::filesystem::path folder =
        root / (official ? "Official" : "Community") /
        fmt::format("{}-scenery-{:03}", official ? "microsoft-airport" : "pub", package);
    const std::filesystem::path scenery = folder / "scenery" / "world";
    std::filesystem::create_directories(scenery);
    if (!std::filesystem::exists(folder / "manifest.json")) {
      std::ofstream(folder / "manifest.json")
          << fmt::format(R"({{"title": "Package {}", "manufacturer": "", "creator": "Maker {}"}})", package, package);
    }
    File file;
    Section filler;
    filler.type = 0x65;
    filler.fillerSize = draw(options.minFillerBytes, options.maxFillerBytes) & ~3U;
    file.sections.push_back(filler);
    const bool hasAirport = options.airportEvery != 0 && n % options.airportEvery == 0;
    if (hasAirport) {
      Airport airport;
      do {
        airport.icao.clear();
        for (int i = 0; i < 4; ++i) airport.icao += static_cast<char>('A' + draw(0, 25));
      } while (!icaos.insert(airport.icao).second);
      airport.altitudeMm = static_cast<std::int32_t>(draw(0, 600000));
      const double latitude = 20.0 + draw(0, 40000) / 1000.0;
      const double longitude = -100.0 + draw(0, 150000) / 1000.0;
      const std::uint32_t stands = draw(options.minStands, options.maxStands);
      for (std::uint32_t s = 0; s < stands; ++s) {
        ParkingSpot spot;
        spot.nameCode = 10 + s % 4;  // g, (empty), A, B
        spot.number = s + 1;
        spot.type = draw(1, 11);
        spot.radius = static_cast<float>(draw(10, 60));
        spot.heading = static_cast<float>(draw(0, 359));
        spot.latitude = latitude + 0.0005 * s;
        spot.longitude = longitude + 0.0003 * (s % 7);
        airport.spots.push_back(spot);
      }
      const bool helipad = draw(0, 3) == 0;
      if (helipad) airport.helipads.push_back({latitude - 0.01, longitude, 24.0F});
      WrittenAirport written{airport.icao, {}, airport.spots.size() + airport.helipads.size(), airport.helipads.size()};
      file.sections.push_back(Section{3, {Record{std::move(airport), {}}}, 0, false, std::nullopt});
      installation.airports.push_back(std::move(written));
    }
    const std::filesystem::path path = scenery / fmt::format("file{:05}.bgl", n);
    if (!gf_writeBgl(file, path)) throw std::runtime_error(fmt::format("cannot write {}", path.string()));
    if (hasAirport) installation.airports.back().file = path;
    installation.files.push_back(path);
    installation.bytes += std::filesystem::file_size(path);
  }
  return installation;
}

}  // namespace bglw

#include "traffic/readers.h"

#include <cmath>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "core/clock.h"
#include "core/format.h"
#include "core/log.h"
#include "shell/rt_link.h"

// Stopped until a reader thread runs: the window must not draw them active before.
std::atomic<std::int32_t> gTrafficReaderStatus{READER_STOPPED};
std::atomic<std::int32_t> gQnhReaderStatus{READER_STOPPED};
std::atomic<std::int32_t> gQnh{STANDARD_QNH};

TrafficReader gTrafficReader;
WeatherReader gWeatherReader;

namespace {

void lf_noRepaint() {}
std::atomic<ReaderRepaintHook> gRepaintHook{&lf_noRepaint};

void lf_repaint() { gRepaintHook.load()(); }

void lf_setLight(std::atomic<std::int32_t>& light, std::int32_t value) {
  light.store(value);
  lf_repaint();
}

// Whether the watchdog saw each reader alive at its last run.
std::atomic<bool> gTrafficLatch{true};
std::atomic<bool> gQnhLatch{true};

// A value above the range of hPa is hundredths of an inch of mercury.
constexpr double kHpaPerHundredthInHg = 0.33865307;
constexpr std::int32_t kLowestQnh = 930;
constexpr std::int32_t kHighestQnh = 1080;

void lf_runReader(UdpReader& reader, std::uint16_t port, bool traffic) {
  try {
    reader.open();
    reader.bindPort(port);
    if (traffic) lf_setLight(gTrafficReaderStatus, READER_RECEIVING);
    lf_setLight(gQnhReaderStatus, READER_RECEIVING);
    gf_logIndented(sk::format("{} connected", reader.threadName()));
    reader.receiveLoop();
    // The loop closed its socket; one that is there now belongs to a restart.
    reader.endWinsock();
  } catch (const std::exception& e) {
    reader.close();
    gf_log(sk::format("{} disconnected", reader.threadName()));
    // A stop that came while the reader was still setting up is no error.
    if (!reader.stopRequested()) gf_readerStopped(traffic, e.what());
  }
}

void lf_watch(UdpReader& reader, std::atomic<std::int32_t>& light, std::atomic<bool>& latch) {
  const std::uint32_t received = reader.received();
  if (received == reader.seenByWatchdog()) {
    lf_setLight(light, READER_SILENT);
    latch.store(false);
  } else if (!latch.load()) {
    latch.store(true);
    lf_setLight(light, READER_RECEIVING);
  }
  reader.setSeenByWatchdog(received);
}

}  // namespace

void gf_setReaderRepaintHook(ReaderRepaintHook hook) {
  gRepaintHook.store(hook ? hook : &lf_noRepaint);
}

// ---- Traffic reader ----

TrafficReader::TrafficReader() : UdpReader("Traffic Reader") { m_fields.reserve(40); }

void TrafficReader::setUserPosition(const LatLon& position) {
  std::lock_guard lock(m_stateMutex);
  m_userPosition = position;
}

LatLon TrafficReader::userPosition() const {
  std::lock_guard lock(m_stateMutex);
  return m_userPosition;
}

void TrafficReader::setParkAirport(std::optional<LatLon> position) {
  std::lock_guard lock(m_stateMutex);
  m_parkAirport = position;
}

void TrafficReader::setParkElevation(std::optional<double> feet) {
  std::lock_guard lock(m_stateMutex);
  m_parkElevation = feet;
}

std::optional<double> TrafficReader::parkElevation() const {
  std::lock_guard lock(m_stateMutex);
  return m_parkElevation;
}

TrafficReader::Surroundings TrafficReader::surroundings() const {
  std::lock_guard lock(m_stateMutex);
  return {m_userPosition, m_parkAirport, m_parkElevation};
}

std::set<std::string> TrafficReader::seenCallsigns() const {
  std::lock_guard lock(m_stateMutex);
  return m_seenCallsigns;
}

void TrafficReader::clearSeenCallsigns() {
  std::lock_guard lock(m_stateMutex);
  m_seenCallsigns.clear();
}

double TrafficReader::lastTimestamp() const { return gRtDataTime.load(); }

void TrafficReader::onStopped() { lf_onTrafficReaderStopped(); }

void lf_onTrafficReaderStopped() {
  lf_setLight(gTrafficReaderStatus, READER_STOPPED);
  gf_logLine("Traffic Reader has stopped");
}

// ---- Pressure reader ----

WeatherReader::WeatherReader() : UdpReader("QNH Reader") {}

void WeatherReader::onStopped() { lf_onQnhReaderStopped(); }

void lf_onQnhReaderStopped() { gf_logLine("QNH Reader has stopped"); }

void WeatherReader::onDatagram(std::string_view datagram) { lf_onQnhDatagram(*this, datagram); }

void lf_onQnhDatagram(WeatherReader& reader, std::string_view datagram) {
  try {
    const nlohmann::json document = nlohmann::json::parse(datagram);
    double value = STANDARD_QNH;
    const auto found = document.find("QNH");
    if (found == document.end() || found->is_null()) {
      reader.m_noQnhLog.logLine(sk::format("no QNH {}", gf_quotedInput(datagram)));
    } else if (found->is_number_integer()) {
      value = found->get<double>();
    } else if (found->is_number_float()) {
      value = std::round(static_cast<double>(static_cast<float>(found->get<double>())));
    } else if (found->is_string()) {
      try {
        value = std::stoi(found->get<std::string>());
      } catch (const std::invalid_argument& e) {
        reader.m_inputErrorLog.logLine(sk::format("QNH string invalid arg: {}", e.what()));
      } catch (const std::out_of_range& e) {
        reader.m_inputErrorLog.logLine(sk::format("QNH string out of range: {}", e.what()));
      }
    } else {
      reader.m_noQnhLog.logLine(sk::format("no QNH {}", gf_quotedInput(datagram)));
    }
    if (value > kHighestQnh) value = std::round(value * kHpaPerHundredthInHg);

    if (!(value >= kLowestQnh && value <= kHighestQnh)) {
      reader.m_strangeQnhLog.logLine(
          sk::format("? Strange QNH {} found in {}", value, gf_quotedInput(datagram)));
      return;
    }
    const auto qnh = static_cast<std::int32_t>(value);
    if (qnh != reader.m_lastQnh.load() || qnh == STANDARD_QNH) {
      reader.m_lastQnh.store(qnh);
      gQnh.store(qnh);
      std::int32_t silent = READER_SILENT;
      gQnhReaderStatus.compare_exchange_strong(silent, READER_RECEIVING);
      lf_repaint();
    }
  } catch (const std::exception& e) {
    reader.m_inputErrorLog.logLine(sk::format("Exception {}, in {}", e.what(), gf_quotedInput(datagram)));
  }
}

// ---- Threads, watchdog, reset ----

void lf_trafficReaderThread(std::uint16_t port) { lf_runReader(gTrafficReader, port, true); }

void lf_qnhReaderThread(std::uint16_t port) { lf_runReader(gWeatherReader, port, false); }

void gf_stopRealTrafficReaders() {
  gWeatherReader.requestStop();
  gTrafficReader.requestStop();
}

void gf_checkReaders() {
  if (!gRtClientConnected.load()) return;
  lf_watch(gWeatherReader, gQnhReaderStatus, gQnhLatch);
  lf_watch(gTrafficReader, gTrafficReaderStatus, gTrafficLatch);
}

void gf_resetRealTrafficReaders() {
  gQnh.store(STANDARD_QNH);
  gRtDataTime.store(0.0);
  gTrafficReader.clearSeenCallsigns();
  gTrafficReader.clearStopRequest();
  gWeatherReader.clearStopRequest();
  gWeatherReader.resetCounters();
  gWeatherReader.setLastQnh(STANDARD_QNH);
  gTrafficLatch.store(true);
  gQnhLatch.store(true);
}

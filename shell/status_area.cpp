#include "shell/status_area.h"

#include <limits>
#include <stdexcept>

#include "core/errors.h"
#include "core/format.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/util.h"
#include "core/version.h"
#include "shell/app_state.h"
#include "shell/controls.h"
#include "shell/message_line.h"

namespace {

constexpr RECT kSimLight{397, 30, 425, 112};
constexpr RECT kRtLight{425, 30, 453, 112};
constexpr int kBandsRight = 880;

HBRUSH lf_brushOf(COLORREF colour) {
  switch (colour) {
    case kGreen:
      return gAppState.greenBrush;
    case kYellow:
      return gAppState.yellowBrush;
    case kRed:
      return gAppState.redBrush;
    default:
      return gAppState.blackBrush;
  }
}

// Pixels kept free between a cut text and the next one.
constexpr int kTextGap = 4;

int lf_width(const WideText& text, std::size_t units) {
  SIZE size{};
  GetTextExtentPoint32W(gAppState.paintDc, text.c_str(), static_cast<int>(units), &size);
  return size.cx;
}

// How many units of the text fit in the width, never half a surrogate pair.
std::size_t lf_unitsBefore(const WideText& text, int width) {
  if (lf_width(text, text.size()) <= width) return text.size();
  std::size_t fits = 0, fails = text.size();
  while (fails - fits > 1) {
    const std::size_t middle = (fits + fails) / 2;
    (lf_width(text, middle) <= width ? fits : fails) = middle;
  }
  if (fits > 0 && text[fits - 1] >= 0xD800 && text[fits - 1] <= 0xDBFF) --fits;
  return fits;
}

void lf_line(int x1, int y1, int x2, int y2) {
  MoveToEx(gAppState.paintDc, x1, y1, nullptr);
  LineTo(gAppState.paintDc, x2, y2);
}

COLORREF lf_readerColour(std::int32_t status) {
  return status == READER_RECEIVING ? kGreen : kYellow;
}

void lf_paintStatus() {
  const bool open = gAppState.simConnected.load();
  const std::string userTitle = gAppState.userTitle.get();
  const COLORREF simState =
      !open ? kRed : (gAppState.flightLight.load() && !userTitle.empty() ? kGreen : kYellow);
  FillRect(gAppState.paintDc, &kSimLight, lf_brushOf(simState));
  lf_textOut(398, 63, "Sim", kBlack);

  if (open) {
    std::string simLine = gAppState.simName.get();
    const std::string stand = gAppState.userStand.get();
    if (!stand.empty()) simLine += ", user stand " + stand;
    lf_textOutBefore(5, 35, simLine, simState, kSimLight.left);
    lf_textOutBefore(5, 63, userTitle, gAppState.userSpanKnown.load() ? simState : kYellow, kSimLight.left);
  } else {
    lf_textOut(5, 35, sk::format("MSFS 20{} mode", MSFS_2020.value ? "20" : "24"), kGreen);
  }

  const std::int64_t liveries = gAppState.liveryCount.load();
  if (liveries > 0) {
    lf_textOut(5, 91, sk::format("# liveries: {}", liveries), kGreen);
  } else {
    lf_textOut(5, 91, "# liveries: ...", kRed);
  }
  const std::int32_t linkpack = gAppState.linkpackCount.load();
  if (linkpack > 0) {
    lf_textOut(141, 91, sk::format("# {}: {}", "linkpack", linkpack), kGreen);
  } else {
    lf_textOut(141, 91, sk::format("# {}: ...", "linkpack"), kYellow);
  }
  const std::int32_t thirdp = gAppState.thirdpCount.load();
  if (thirdp > 0) {
    lf_textOut(278, 91, sk::format("# thirdp: {}", thirdp), kGreen);
  } else {
    lf_textOut(278, 91, "# thirdp: ...", kYellow);
  }

  const bool rtShown = gAppState.rtShown.load();
  const std::int32_t trafficStatus = gAppState.trafficReaderStatus.load();
  const std::int32_t qnhStatus = gAppState.qnhReaderStatus.load();
  COLORREF rtLight = kRed;
  if (gAppState.rtLightDark.load()) {
    rtLight = kBlack;
  } else if (rtShown) {
    rtLight = lf_readerColour(trafficStatus);
  }
  FillRect(gAppState.paintDc, &kRtLight, lf_brushOf(rtLight));
  lf_textOut(430, 63, "RT", kBlack);

  if (rtShown) {
    lf_textOut(458, 35, gAppState.rtVersionText.get(), kGreen);
    if (qnhStatus != READER_STOPPED) lf_textOut(458, 63, "Weather", lf_readerColour(qnhStatus));
    if (trafficStatus != READER_STOPPED) lf_textOut(458, 91, "Traffic", lf_readerColour(trafficStatus));
  }
  lf_line(425, 29, 425, 112);
}

bool lf_readerRunning(std::int32_t status) {
  return status == READER_RECEIVING || status == READER_SILENT;
}

void lf_paintRealTrafficFigures() {
  if (!gAppState.rtShown.load()) return;
  const std::int32_t qnh = gAppState.qnh.load();
  if (lf_readerRunning(gAppState.qnhReaderStatus.load()) && qnh > 0) {
    lf_textOut(642, 63, sk::format("qnh: {:4}", qnh), kGreen);
  }
  if (lf_readerRunning(gAppState.trafficReaderStatus.load())) {
    lf_textOut(642, 91, sk::format("live: {:3}", gAppState.liveCount.load()), kGreen);
  }
}

void lf_paintParking() {
  const std::string code = gAppState.parkAirportCode.get();
  if (code.empty()) return;
  const int y = gAppState.parkingRowY;
  const bool active = gAppState.parkAirportActive.load();
  const std::string label = gAppState.parkAirportLabel.get();
  lf_textOut(5, y, label.empty() ? code : label, active ? kGreen : kYellow);
  if (!active) return;

  // A long file name is cut where the next text begins.
  const bool staticMark = gAppState.staticMark.load();
  lf_textOutBefore(
      85, y,
      sk::format(" {}, {}{}, wk={}", gAppState.parkAirportText1.get(), gAppState.parkAirportText2.get(),
                 gAppState.handMadeMark.load() ? " (h)" : "", gAppState.parkWeek.load()),
      kGreen, staticMark ? 370 : 430);
  if (staticMark) lf_textOut(370, y, "*S*", kGreen);
  lf_textOut(430, y, sk::format("qf: {}", gAppState.qualityText.get()), kGreen);
  const std::string reserved = gAppState.reservedStand.get();
  if (!reserved.empty()) {
    lf_textOut(571, y, sk::format("reserved stand: {}", reserved),
               gAppState.reservedStandFound.load() ? kGreen : kRed);
  }
  lf_textOut(748, y, sk::format("# updates: {:4}", gAppState.updateCount.load()), kGreen);

  const int y2 = y + 28;
  lf_textOut(5, y2, sk::format("# stands: {:3}", gAppState.standCount.load()), kGreen);
  lf_textOut(111, y2, sk::format("parked live: {:3}", gAppState.parkedLiveCount.load()), kGreen);
  const float liveFit = gAppState.liveAverageFit.load();
  if (liveFit > 0) lf_textOut(249, y2, sk::format("average fit: {}", gf_formatDecimal(liveFit)), kGreen);
  const std::int32_t maxPark = gAppState.maxPark.load();
  if (maxPark > 0) {
    lf_textOut(430, y2, sk::format("parked static: {:3}", gAppState.parkedStaticCount.load()), kGreen);
    const float staticFit = gAppState.staticAverageFit.load();
    if (!WEEK.value && staticFit > 0) {
      lf_textOut(571, y2, sk::format("average fit: {}", gf_formatDecimal(staticFit)), kGreen);
    }
  }
  lf_textOut(708, y2,
             maxPark != 0 ? sk::format("max park: {:3} (={} %)", maxPark, gAppState.maxParkPercentage.load())
                          : std::string("no max park live"),
             kGreen);
}

}  // namespace

void lf_textOut(int x, int y, const std::string& text, COLORREF colour) {
  lf_textOutBefore(x, y, text, colour, std::numeric_limits<int>::max());
}

void lf_textOutBefore(int x, int y, const std::string& text, COLORREF colour, int right) {
  if (text.empty()) return;
  WideText wide;
  try {
    wide = gf_wideText(text);
  } catch (const win32::Utf8ConversionException& e) {
    gf_logText(sk::format("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode()));
    return;
  } catch (const std::overflow_error& e) {
    gf_logText(sk::format("{} {}", text, e.what()));
    return;
  }
  wide.resize(lf_unitsBefore(wide, right - kTextGap - x));
  SetTextColor(gAppState.paintDc, colour);
  TextOutW(gAppState.paintDc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

void lf_textOutEnabled(int x, int y, const std::string& text, bool enabled) {
  lf_textOut(x, y, text, enabled ? kBlack : kGrey);
}

void lf_paint(HDC hdc) {
  gAppState.paintDc = hdc;
  FillRect(hdc, &kHeaderRect, gAppState.blackBrush);
  FillRect(hdc, &kStatusRect, gAppState.blackBrush);
  FillRect(hdc, &kSettingsRect, gAppState.lightBlueBrush);
  FillRect(hdc, &kParkingRect, gAppState.blackBrush);
  FillRect(hdc, &kMessageRect, gAppState.greenBrush);
  SelectObject(hdc, gf_windowFont());

  SelectObject(hdc, gAppState.whitePen);
  for (int y : {28, 113, 449, 392}) lf_line(0, y, kBandsRight, y);
  SetBkMode(hdc, TRANSPARENT);

  lf_textOut(3, 7, sk::format("Version {}", gf_versionToString(ProgramVersion)), kGreen);
  lf_textOut(390, 7, "Skylume", kGreen);
  lf_textOut(632, 7, "Live traffic into MSFS", kGreen);

  SelectObject(hdc, gAppState.blackPen);
  for (const RowLine& row : gAppState.rowLines) lf_line(row.x1, row.y1, row.x2, row.y2);
  lf_line(642, 140, 642, 308);

  lf_paintStatus();
  lf_paintRealTrafficFigures();
  lf_paintLabels();
  lf_paintParking();
  gf_paintMessageLine();
}

void lf_updateAircraftCounts(const AircraftCounts& counts) {
  if (counts.live != gAppState.liveCount.load()) {
    gAppState.liveCount.store(counts.live);
    gf_invalidateMain(kStatusRect);
  }
  if (counts.parkedStatic != gAppState.parkedStaticCount.load() ||
      counts.parkedLive != gAppState.parkedLiveCount.load()) {
    gAppState.parkedStaticCount.store(counts.parkedStatic);
    gAppState.parkedLiveCount.store(counts.parkedLive);
    gf_invalidateMain(kParkingRect);
  }
}

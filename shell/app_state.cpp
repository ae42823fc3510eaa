#include "shell/app_state.h"

#include <utility>

std::string SharedText::get() const {
  std::lock_guard lock(m_mutex);
  return m_text;
}

void SharedText::set(std::string text) {
  std::lock_guard lock(m_mutex);
  m_text = std::move(text);
}

bool SharedText::empty() const {
  std::lock_guard lock(m_mutex);
  return m_text.empty();
}

AppState::AppState()
    : MAIN_WINDOW_X(::MAIN_WINDOW_X),
      MAIN_WINDOW_Y(::MAIN_WINDOW_Y),
      redBrush(CreateSolidBrush(kRed)),
      lightBlueBrush(CreateSolidBrush(kLightBlue)),
      blackBrush(CreateSolidBrush(kBlack)),
      greenBrush(CreateSolidBrush(kGreen)),
      yellowBrush(CreateSolidBrush(kYellow)),
      blackPen(CreatePen(PS_SOLID, 1, kBlack)),
      whitePen(CreatePen(PS_SOLID, 1, kWhite)) {
  ready.exchange(true);
}

// Brushes and pens are left to the process end: a paint may still run.
AppState::~AppState() {
  paintDc = nullptr;
  mainWindow.store(nullptr);
}

void AppState::resetForRestart() {
  {
    std::lock_guard lock(messageMutex);
    messageText.clear();
    errorText.clear();
    messageSeconds = 0;
    messageStartCount = 0;
  }
  for (SharedText* text :
       {&userTitle, &parkAirportText1, &parkAirportText2, &qualityText, &simName, &rtVersionText, &userStand}) {
    text->clear();
  }
  for (auto* counter : {&updateCount, &liveCount, &maxPark, &parkedLiveCount, &parkedStaticCount, &qnh, &standCount}) {
    counter->store(0);
  }
  staticAverageFit.store(-1.0F);
  liveAverageFit.store(-1.0F);
  for (auto* flag : {&handMadeMark, &rtShown, &parkAirportActive, &simConnected, &flightLight, &reservedStandFound}) {
    flag->store(false);
  }
  rtLightDark.store(true);
  userSpanKnown.store(true);
  trafficReaderStatus.store(READER_STOPPED);
  qnhReaderStatus.store(READER_STOPPED);
}

AppState gAppState;
std::atomic<HWND> gDlgParent{nullptr};

void gf_invalidateMain(const RECT& rect) {
  if (HWND window = gAppState.mainWindow.load()) InvalidateRect(window, &rect, TRUE);
}

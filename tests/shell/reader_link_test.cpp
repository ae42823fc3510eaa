#include "shell/rt_link.h"
#include "shell/startup.h"
#include "shell_test_support.h"
#include "traffic/readers.h"

namespace {

using ReaderLink = ShellTest;

TEST_F(ReaderLink, AStoppedReaderIsShownLoggedAndFlagged) {
  gReaderError.store(false);
  gf_readerStopped(true, "sys error 31: bind failed");
  EXPECT_EQ(messageText(), "The TrafficReader  has stopped with an error: sys error 31: bind failed");
  EXPECT_TRUE(gReaderError.load());

  gReaderError.store(false);
  gf_readerStopped(false, "boom");
  EXPECT_EQ(messageText(), "The WeatherReader has stopped with an error: boom");
  EXPECT_TRUE(gReaderError.load());
  EXPECT_EQ(logged(),
            "The TrafficReader  has stopped with an error: sys error 31: bind failed\n"
            "The WeatherReader has stopped with an error: boom\n");
  gReaderError.store(false);
}

TEST_F(ReaderLink, TheStatusAreaFollowsTheReadersLightsAndPressure) {
  gTrafficReaderStatus.store(READER_SILENT);
  gQnhReaderStatus.store(READER_SILENT);
  gf_followReaderLights();
  EXPECT_EQ(gAppState.trafficReaderStatus.load(), READER_SILENT);
  EXPECT_EQ(gAppState.qnhReaderStatus.load(), READER_SILENT);

  // A plausible pressure turns the silent light on and reaches the window's copy.
  gWeatherReader.setLastQnh(STANDARD_QNH);
  gWeatherReader.onDatagram(R"({"QNH": 1009.6})");
  EXPECT_EQ(gAppState.qnh.load(), 1010);
  EXPECT_EQ(gAppState.qnhReaderStatus.load(), READER_RECEIVING);

  gf_setReaderRepaintHook(nullptr);
  gf_resetRealTrafficReaders();
}

}  // namespace

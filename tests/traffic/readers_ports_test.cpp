// The readers on RealTraffic's own ports, 49004 and 49005.
#include <gtest/gtest.h>

#include "service_doubles.h"
#include "test_support.h"
#include "traffic/readers.h"
#include "traffic/update_queue.h"

namespace {

TEST(ReaderPorts, BothFeedsArriveOnTheirFixedPorts) {
  testing_traffic::LogCapture log;
  testing_traffic::UdpSender sender;
  gRtLocal = true;
  gf_resetRealTrafficReaders();
  gf_setAcceptUpdates(true);
  gTrafficReader.setUserPosition({52.3, 4.76});
  gQnhReaderStatus.store(0);
  gTrafficReaderStatus.store(0);

  std::thread qnh(&lf_qnhReaderThread, QNH_PORT);
  std::thread traffic(&lf_trafficReaderThread, TRAFFIC_PORT);
  ASSERT_TRUE(testing_traffic::waitUntil([] {
    return gWeatherReader.boundPort() == QNH_PORT && gTrafficReader.boundPort() == TRAFFIC_PORT;
  }));

  EXPECT_TRUE(sender.send(QNH_PORT, R"({"QNH": 1009.6})"));
  EXPECT_TRUE(sender.send(TRAFFIC_PORT, testing_traffic::joinFields(testing_traffic::baseFields())));
  EXPECT_TRUE(testing_traffic::waitUntil([] { return gQnh.load() == 1010; }));
  EXPECT_TRUE(testing_traffic::waitUntil([] { return testing_traffic::queuedRecords() == 1; }));

  gf_stopRealTrafficReaders();
  qnh.join();
  traffic.join();
  EXPECT_TRUE(doubles::readerStoppedCalls().empty());
  EXPECT_EQ(gTrafficReaderStatus.load(), READER_STOPPED);
  gf_resetRealTrafficReaders();
  gRtLocal = false;
}

}  // namespace

#include "tools/rtplayer/options.h"

#include <gtest/gtest.h>

namespace rtplay {
namespace {

TEST(Address, DottedQuadsAndLoopback) {
  EXPECT_EQ(gf_parseIpv4("127.0.0.1"), Ipv4Address{0x7F000001});
  EXPECT_EQ(gf_parseIpv4("127.255.3.4"), Ipv4Address{0x7FFF0304});
  EXPECT_EQ(gf_parseIpv4("localhost"), Ipv4Address{0x7F000001});
  for (const char* bad : {"", "127.0.0", "127.0.0.1.", "127.0.0.256", "127.0.0.01", "127.0.0.-1",
                          "127.0.0.1x", "+127.0.0.1", "127..0.1", "0x7f.0.0.1", "1270.0.0.1"})
    EXPECT_FALSE(gf_parseIpv4(bad)) << bad;
  EXPECT_EQ(gf_ipv4Text(Ipv4Address{0x7F0A0B0C}), "127.10.11.12");

  EXPECT_EQ(gf_loopbackAddress("127.1.2.3"), Ipv4Address{0x7F010203});
  for (const char* outside :
       {"128.0.0.1", "126.255.255.255", "10.0.0.1", "0.0.0.0", "255.255.255.255", "nowhere"})
    EXPECT_THROW(gf_loopbackAddress(outside), std::runtime_error) << outside;
}

TEST(PlayerOptions, DefaultsAreRealTrafficsPorts) {
  const auto options = gf_parsePlayerOptions({"arrival.replay"});
  EXPECT_EQ(options.replayFile, "arrival.replay");
  EXPECT_EQ(options.trafficPort, 49005);
  EXPECT_EQ(options.pressurePort, 49004);
  EXPECT_EQ(options.linkPort, 10747);
  EXPECT_EQ(options.address, Ipv4Address{0x7F000001});
  EXPECT_EQ(options.edition, Edition::Professional);
  EXPECT_EQ(options.play.speed, 1.0);
  EXPECT_FALSE(options.play.shiftToNow);
  EXPECT_FALSE(options.play.pressure);
  EXPECT_TRUE(options.link);
}

TEST(PlayerOptions, EveryOptionIsRead) {
  const auto options = gf_parsePlayerOptions({"--speed", "2.5", "--now", "--qnh", "\"2992\"", "--edition",
                                              "standard", "--address", "127.0.0.2", "--traffic-port", "5001",
                                              "--pressure-port", "5002", "--link-port", "5003",
                                              "--wait-version", "--record", "requests.txt", "x.replay"});
  EXPECT_EQ(options.play.speed, 2.5);
  EXPECT_TRUE(options.play.shiftToNow);
  EXPECT_EQ(options.play.pressure, "\"2992\"");
  EXPECT_EQ(options.edition, Edition::Standard);
  EXPECT_EQ(options.address, Ipv4Address{0x7F000002});
  EXPECT_EQ(options.trafficPort, 5001);
  EXPECT_EQ(options.pressurePort, 5002);
  EXPECT_EQ(options.linkPort, 5003);
  EXPECT_TRUE(options.waitForVersion);
  EXPECT_EQ(options.recordFile, "requests.txt");
  EXPECT_FALSE(gf_parsePlayerOptions({"--no-link", "x"}).link);
  EXPECT_TRUE(gf_parsePlayerOptions({"--loop", "x"}).play.loop);
  EXPECT_TRUE(gf_parsePlayerOptions({"--help"}).help);
}

TEST(PlayerOptions, MistakesAreRefused) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"a", "b"},
      {"--speed", "0", "x"},
      {"--speed", "fast", "x"},
      {"--speed"},
      {"--qnh", "{", "x"},
      {"--edition", "gold", "x"},
      {"--address", "192.168.1.10", "x"},
      {"--traffic-port", "0", "x"},
      {"--pressure-port", "65536", "x"},
      {"--link-port", "10747a", "x"},
      {"--no-link", "--wait-version", "x"},
      {"--repeat", "x"},
  };
  for (const auto& args : wrong) {
    EXPECT_THROW(gf_parsePlayerOptions(args), std::runtime_error) << ::testing::PrintToString(args);
  }
}

TEST(ConverterOptions, FilesAndUnits) {
  auto options = gf_parseConverterOptions({"in.csv", "out.replay"});
  EXPECT_EQ(options.input, "in.csv");
  EXPECT_EQ(options.output, "out.replay");
  EXPECT_EQ(options.units, ReportUnits::Metric);
  options = gf_parseConverterOptions({"--units", "aviation", "in.csv", "out.replay"});
  EXPECT_EQ(options.units, ReportUnits::Aviation);
  EXPECT_THROW(gf_parseConverterOptions({"in.csv"}), std::runtime_error);
  EXPECT_THROW(gf_parseConverterOptions({"--units", "furlongs", "in.csv", "out.replay"}), std::runtime_error);
}

}  // namespace
}  // namespace rtplay

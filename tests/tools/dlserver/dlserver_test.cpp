#include "tools/dlserver/dlserver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "core/errors.h"
#include "tools/dlserver/archive_writer.h"

namespace dlsrv {
namespace {

// The whole reply to one request, read until the server closes.
std::string lf_exchange(std::uint16_t port, const std::string& request) {
  rtplay::WinsockSession winsock;
  SOCKET s = ws::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in address = rtplay::gf_loopbackSocketAddress({}, port);
  EXPECT_EQ(ws::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ws::send(s, request.data(), static_cast<int>(request.size()), 0);
  std::string reply;
  char buffer[4096];
  for (int got; (got = ws::recv(s, buffer, sizeof(buffer), 0)) > 0;) reply.append(buffer, got);
  closesocket(s);
  return reply;
}

class DownloadServerTest : public testing::Test {
 protected:
  DownloadServerTest() {
    std::random_device random;
    m_folder = std::filesystem::temp_directory_path() / ("sklm_dlserver_" + std::to_string(random()));
    std::filesystem::create_directories(m_folder / "downloads");
    std::ofstream(m_folder / "downloads" / "file.txt", std::ios::binary) << "0123456789";
  }
  ~DownloadServerTest() override { std::filesystem::remove_all(m_folder); }
  std::filesystem::path m_folder;
};

TEST_F(DownloadServerTest, AnswersRecordsAndInjectsFaults) {
  DownloadServer server(m_folder);
  Fault truncated;
  truncated.truncateAfter = 4;
  server.setFault("/downloads/cut.txt", truncated);
  std::filesystem::copy_file(m_folder / "downloads" / "file.txt", m_folder / "downloads" / "cut.txt");
  Fault status;
  status.status = 503;
  server.setFault("/downloads/file2.txt", status);

  struct Row {
    const char* request;
    std::string statusLine;
    std::string body;
  } rows[] = {
      {"GET /downloads/file.txt HTTP/1.1\r\nUser-Agent: SKLM\r\n\r\n", "HTTP/1.1 200 OK", "0123456789"},
      {"GET /downloads/cut.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK", "0123"},
      {"GET /downloads/none.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found", "404 Not Found\n"},
      {"GET /downloads/file2.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 503 Service Unavailable", "503 Service Unavailable\n"},
      {"GET /downloads/../downloads/file.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "400 Bad Request\n"},
      {"POST /downloads/file.txt HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request", "400 Bad Request\n"},
  };
  for (const Row& row : rows) {
    const std::string reply = lf_exchange(server.port(), row.request);
    SCOPED_TRACE(row.request);
    EXPECT_EQ(reply.substr(0, reply.find("\r\n")), row.statusLine);
    const auto headEnd = reply.find("\r\n\r\n");
    ASSERT_NE(headEnd, std::string::npos);
    EXPECT_EQ(reply.substr(headEnd + 4), row.body);
  }
  // The truncated file still announces its full length.
  EXPECT_NE(lf_exchange(server.port(), rows[1].request).find("Content-Length: 10\r\n"), std::string::npos);

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), std::size(rows) + 1);
  EXPECT_EQ(requests[0].line, "GET /downloads/file.txt HTTP/1.1");
  EXPECT_EQ(requests[0].userAgent, "SKLM");
  EXPECT_EQ(requests[1].userAgent, "");
}

TEST_F(DownloadServerTest, StaysOnThisMachine) {
  EXPECT_THROW(DownloadServer(m_folder, rtplay::Ipv4Address{0x0A000001}), qlx::UserErrorException);
  DownloadServer server(m_folder, rtplay::Ipv4Address{0x7F000002});
  EXPECT_NE(server.port(), 0);
  EXPECT_EQ(server.address(), "http://127.0.0.2:" + std::to_string(server.port()));
}

TEST_F(DownloadServerTest, StopEndsASlowTransfer) {
  DownloadServer server(m_folder);
  Fault slow;
  slow.bytesPerSecond = 1;
  server.setFault("/downloads/file.txt", slow);
  std::string reply;
  std::thread client([&] { reply = lf_exchange(server.port(), "GET /downloads/file.txt HTTP/1.1\r\n\r\n"); });
  ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(30)));
  server.stop();
  client.join();
  // The client got its end of file long before the ten seconds the body would take.
  EXPECT_EQ(reply.find("0123456789"), std::string::npos);
}

TEST_F(DownloadServerTest, DemoFolderHoldsVersionsAndCompanionArchive) {
  gf_writeDemoFolder(m_folder, "10.9.4");
  std::ifstream version(m_folder / "downloads" / "release" / "version.json");
  std::string line;
  std::getline(version, line);
  EXPECT_EQ(line, "10.9.4\r");
  const auto archive = m_folder / "downloads" / "mylinkpack24" / "my_linkpack2024.zip";
  ASSERT_TRUE(std::filesystem::exists(archive));
  std::ifstream in(archive, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 4), std::string("PK\x03\x04", 4));
  EXPECT_NE(bytes.find("links/EHAM.dat"), std::string::npos);
}

}  // namespace
}  // namespace dlsrv

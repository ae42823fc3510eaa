// dlserver: a stand-in for the program's download server. Serves one folder
// over HTTP on 127.0.0.0/8 until it reads "quit" (or is killed, once stdin is closed).
#include <charconv>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/format.h"
#include "tools/dlserver/archive_writer.h"
#include "tools/dlserver/dlserver.h"

namespace {

const char* kUsage =
    "usage: dlserver [--address 127.0.0.1] [--port N] [--demo VERSION] [--zip NAME=FILE]\n"
    "                [--slow PATH=BYTES_PER_SECOND] [--truncate PATH=BYTES] [--status PATH=CODE] FOLDER\n"
    "Serves FOLDER: the URL path /downloads/dbase.zip is FOLDER/downloads/dbase.zip.\n"
    "Port 0 (the default) takes any free port; the address is printed.\n"
    "--demo fills FOLDER/downloads with version files at VERSION and a small companion archive.\n"
    "--zip writes FOLDER/downloads/NAME, an archive holding FILE (dbase.zip=temp2.xml); repeatable.\n"
    "PATH is a URL path such as /downloads/dbase.zip. Type quit to stop; any other line lists the requests.\n";

bool lf_number(const std::string& text, long long& out) {
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc{} && end == text.data() + text.size() && out >= 0;
}

// "PATH=NUMBER"
bool lf_pathNumber(const std::string& text, std::string& path, long long& number) {
  const auto equals = text.rfind('=');
  if (equals == std::string::npos) return false;
  path = text.substr(0, equals);
  return !path.empty() && lf_number(text.substr(equals + 1), number);
}

// "NAME=FILE"
bool lf_nameFile(const std::string& text, std::string& name, std::string& file) {
  const auto equals = text.find('=');
  if (equals == std::string::npos) return false;
  name = text.substr(0, equals);
  file = text.substr(equals + 1);
  return !name.empty() && !file.empty();
}

void lf_writeFileArchive(const std::filesystem::path& archive, const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  if (!in || !(bytes << in.rdbuf())) throw std::runtime_error("cannot read " + file.string());
  dlsrv::gf_writeArchive(archive, {{file.filename().string(), bytes.str()}});
}

}  // namespace

int main(int argc, char** argv) {
  std::string addressText = "127.0.0.1", folder, demoVersion;
  long long port = 0;
  std::vector<std::pair<std::string, dlsrv::Fault>> faults;
  std::vector<std::pair<std::string, std::string>> archives;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    std::string path;
    long long number = 0;
    if (arg == "--address" && hasValue) {
      addressText = argv[++i];
    } else if (arg == "--port" && hasValue && lf_number(argv[i + 1], port) && port <= 65535) {
      ++i;
    } else if (arg == "--demo" && hasValue) {
      demoVersion = argv[++i];
    } else if (std::string name, file; arg == "--zip" && hasValue && lf_nameFile(argv[i + 1], name, file)) {
      ++i;
      archives.emplace_back(name, file);
    } else if ((arg == "--slow" || arg == "--truncate" || arg == "--status") && hasValue &&
               lf_pathNumber(argv[i + 1], path, number)) {
      ++i;
      dlsrv::Fault fault;
      if (arg == "--slow") fault.bytesPerSecond = static_cast<int>(std::max(1LL, number));
      if (arg == "--truncate") fault.truncateAfter = static_cast<std::uint64_t>(number);
      if (arg == "--status") fault.status = static_cast<int>(number);
      faults.emplace_back(path, fault);
    } else if (!arg.empty() && arg[0] != '-' && folder.empty()) {
      folder = arg;
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (folder.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    if (!demoVersion.empty()) dlsrv::gf_writeDemoFolder(folder, demoVersion);
    for (const auto& [name, file] : archives)
      lf_writeFileArchive(std::filesystem::path(folder) / "downloads" / name, file);
    dlsrv::DownloadServer server(folder, rtplay::gf_loopbackAddress(addressText),
                                 static_cast<std::uint16_t>(port));
    for (const auto& [path, fault] : faults) server.setFault(path, fault);
    std::cout << sk::format("dlserver serving {} at {}", folder, server.address()) << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "quit") return 0;
      // Any other line lists the requests served so far.
      for (const auto& request : server.requests()) std::cout << request.line << " [" << request.userAgent << "]\n";
      std::cout.flush();
    }
    // No console (stdin closed, as when started in the background): serve until killed.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  } catch (const std::exception& error) {
    std::cerr << "dlserver: " << error.what() << '\n';
    return 1;
  }
  return 0;
}

#pragma once
// The one way the livery code reaches the download server: the shell installs
// its archive downloads here at program start, tests hand in a fixture copier
// or a failure. Each entry fetches its archive and writes the unpacked file to
// the target path; it never throws, a failure is false with one Log.txt line.
#include <filesystem>
#include <functional>

using DataDownload = std::function<bool(const std::filesystem::path& target)>;

struct DataDownloads {
  DataDownload dbase;        // dbase.zip -> temp2.xml
  DataDownload aigRegcodes;  // AIG-regcodes.zip -> AIG-regcodes.xml
};

// Set before the start-up thread runs; read by it only.
void gf_setDataDownloads(DataDownloads downloads);

// False, with one log line, while no download is installed.
bool lf_downloadDbase(const std::filesystem::path& target);
bool lf_downloadAigRegcodes(const std::filesystem::path& target);

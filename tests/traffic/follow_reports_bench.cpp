// The whole follow-the-reports sweep: every recorded aircraft first seen at
// each of its lines near the field (k = 1), each plain and with each spoilt
// report, and the scripted stories; prints every check broken, then the counts
// per check and per track, and the wall time.
// Usage: follow_reports_bench [--k N] [--shard I/N] (the cases whose number
// modulo N is I, so that shards run side by side) [--only TRACK:LINE] (that
// entry alone, its scratch folders with their trace and log kept, to look into
// a row of the table).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>

#include "follow_reports.h"
#include "service_doubles.h"

int main(int argc, char** argv) {
  std::size_t k = 1, shard = 0, shards = 1;
  std::string onlyTrack;
  std::size_t onlyLine = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--k") == 0) k = std::stoul(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) {
      const std::string only = argv[i + 1];
      const std::size_t colon = only.find(':');
      if (colon == std::string::npos) return 2;
      onlyTrack = only.substr(0, colon);
      onlyLine = std::stoul(only.substr(colon + 1));
    }
    if (std::strcmp(argv[i], "--shard") == 0 && std::sscanf(argv[i + 1], "%zu/%zu", &shard, &shards) != 2)
      return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<sweep::Track> tracks = sweep::gf_recordedTracks();
  for (sweep::Track& track : sweep::gf_scriptedTracks()) tracks.push_back(std::move(track));
  const auto root = std::filesystem::temp_directory_path() /
                    ("sklm_follow_reports_" + std::to_string(std::random_device{}()));
  std::vector<sweep::Finding> findings;
  std::size_t index = 0, runs = 0;
  for (const sweep::Track& track : tracks)
    for (const std::size_t entry : sweep::gf_entries(track, onlyTrack.empty() ? k : 1))
      for (const sweep::Mutation mutation : sweep::kMutations) {
        if (!onlyTrack.empty() && (track.name != onlyTrack || entry + 1 != onlyLine)) continue;
        if (index++ % shards != shard) continue;
        const auto scratch = root / (std::to_string(runs++) + "-" + sweep::gf_mutationName(mutation));
        std::filesystem::create_directories(scratch);
        for (sweep::Finding& f : sweep::gf_runCase({&track, entry, mutation}, scratch))
          findings.push_back(std::move(f));
        if (onlyTrack.empty()) std::filesystem::remove_all(scratch);
      }
  if (onlyTrack.empty())
    std::filesystem::remove_all(root);
  else
    std::printf("kept: %s\n", root.c_str());
  sweep::gf_printTable(std::cout, findings);
  std::map<std::string, std::size_t> byCheck, byTrack;
  for (const sweep::Finding& f : findings) {
    const std::string excused = f.excusedBy.empty() ? "" : " [excused: " + f.excusedBy + "]";
    ++byCheck[f.check + excused];
    ++byTrack[f.track + excused];
  }
  std::printf("\nfollow_reports_bench: k = %zu, shard %zu/%zu: %zu runs, %zu rows, %.0f s wall\n", k, shard,
              shards, runs, findings.size(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::printf("rows per check:\n");
  for (const auto& [check, count] : byCheck) std::printf("  %5zu  %s\n", count, check.c_str());
  std::printf("rows per track:\n");
  for (const auto& [track, count] : byTrack) std::printf("  %5zu  %s\n", count, track.c_str());
  return 0;
}

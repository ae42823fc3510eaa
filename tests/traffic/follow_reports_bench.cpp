// The whole follow-the-reports sweep: every recorded aircraft first seen at
// each of its lines near the field (k = 1), each plain and with each spoilt
// report, on its own day and on others, thinned, and the scripted stories;
// prints every check broken, then the counts per check and per track, and the
// wall time. It is CI's gate: it ends with status 1 on a row that no rule
// excuses and the known rows do not list, and on a listed row of a case it ran
// that no longer shows (the list only shrinks).
// Usage: follow_reports_bench [--k N] [--shard I/N] (the cases whose number
// modulo N is I, so that shards run side by side) [--only TRACK:LINE] (that
// entry alone, its scratch folders with their trace and log kept, to look into
// a row of the table).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "core/format.h"
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
  const std::vector<sweep::KnownRow> known = sweep::gf_readKnownRows(sweep::gf_knownRowsFile());
  std::vector<sweep::Track> tracks = sweep::gf_recordedTracks();
  for (sweep::Track& track : sweep::gf_scriptedTracks()) tracks.push_back(std::move(track));
  const auto root = std::filesystem::temp_directory_path() /
                    ("sklm_follow_reports_" + std::to_string(std::random_device{}()));
  std::vector<sweep::Finding> findings;
  std::set<std::string> ran;  // track, entry line and what was played of each case run
  const auto caseKey = [](const std::string& track, std::size_t line, const std::string& played) {
    return sk::format("{}\t{}\t{}", track, line, played);
  };
  std::size_t index = 0, runs = 0;
  for (const sweep::Track& track : tracks)
    for (const sweep::Case& c : sweep::gf_cases(track, onlyTrack.empty() ? k : 1)) {
      if (!onlyTrack.empty() && (track.name != onlyTrack || c.entry + 1 != onlyLine)) continue;
      if (index++ % shards != shard) continue;
      const std::string played = sweep::gf_playedName(c.mutation, c.conditions);
      ran.insert(caseKey(track.name, c.entry + 1, played));
      const auto scratch = root / std::to_string(runs++);
      std::filesystem::create_directories(scratch);
      for (sweep::Finding& f : sweep::gf_runCase(c, scratch)) findings.push_back(std::move(f));
      if (onlyTrack.empty()) std::filesystem::remove_all(scratch);
    }
  if (onlyTrack.empty())
    std::filesystem::remove_all(root);
  else
    std::printf("kept: %s\n", root.c_str());
  sweep::gf_printTable(std::cout, findings);
  std::map<std::string, std::size_t> byCheck, byTrack, byPlayed;
  std::size_t open = 0;
  for (const sweep::Finding& f : findings) {
    const bool listed = f.excusedBy.empty() && std::any_of(known.begin(), known.end(), [&](const sweep::KnownRow& row) {
      return sweep::gf_matches(row, f);
    });
    const std::string kind = !f.excusedBy.empty() ? " [excused: " + f.excusedBy + "]" : listed ? " [known]" : "";
    if (f.excusedBy.empty() && !listed) {
      ++open;
      // In the list's own form, cause to be found.
      std::printf("not in the known rows: %s\t%zu\t%s\t%s\n", f.track.c_str(), f.entryLine,
                  sweep::gf_playedName(f.mutation, f.conditions).c_str(), f.check.c_str());
    }
    ++byCheck[f.check + kind];
    ++byTrack[f.track + kind];
    ++byPlayed[sweep::gf_playedName(sweep::Mutation::none, f.conditions) + kind];
  }
  std::size_t stale = 0;
  for (const sweep::KnownRow& row : known) {
    if (!ran.contains(caseKey(row.track, row.entryLine, row.played))) continue;
    const bool shows = std::any_of(findings.begin(), findings.end(), [&](const sweep::Finding& f) {
      return f.excusedBy.empty() && sweep::gf_matches(row, f);
    });
    if (shows) continue;
    ++stale;
    std::printf("known row no longer shows (take it off the list): %s %zu %s: %s\n", row.track.c_str(),
                row.entryLine, row.played.c_str(), row.check.c_str());
  }
  std::printf("\nfollow_reports_bench: k = %zu, shard %zu/%zu: %zu runs, %zu rows (%zu open), %.0f s wall\n", k,
              shard, shards, runs, findings.size(), open,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  for (const auto& [title, counts] : {std::pair{"check", &byCheck}, std::pair{"track", &byTrack},
                                      std::pair{"dimension", &byPlayed}}) {
    std::printf("rows per %s:\n", title);
    for (const auto& [name, count] : *counts) std::printf("  %5zu  %s\n", count, name.c_str());
  }
  return open > 0 || stale > 0 ? 1 : 0;
}

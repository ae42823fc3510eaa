// Every recorded aircraft, first seen at its first line and at every k-th one
// near the field, plain and with one report spoilt, on its own day and on
// others, thinned, follows its reports as a user would judge it; and the
// scripted stories the recordings lack.
#include "follow_reports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

// Every k-th line near the field: the whole sweep (k = 1) is follow_reports_bench.
constexpr std::size_t kEveryKth = sweep::kTestEveryKth;

std::vector<sweep::Track> lf_allTracks() {
  std::vector<sweep::Track> tracks = sweep::gf_recordedTracks();
  for (sweep::Track& track : sweep::gf_scriptedTracks()) tracks.push_back(std::move(track));
  return tracks;
}

// A row of the table: these tracks, and of their cases every n-th from the i-th,
// so that the rows run side by side.
struct Row {
  std::vector<std::string> tracks;
  std::size_t part = 0, parts = 1;
};

void PrintTo(const Row& row, std::ostream* out) {
  for (const std::string& track : row.tracks) *out << track << " ";
  *out << row.part + 1 << "/" << row.parts;
}

class FollowReports : public ::testing::TestWithParam<Row> {};

TEST_P(FollowReports, EveryEntryAndSpoiltReportIsFollowed) {
  const Row& row = GetParam();
  const std::vector<sweep::Track> tracks = lf_allTracks();
  const std::vector<sweep::KnownRow> known = sweep::gf_readKnownRows(sweep::gf_knownRowsFile());
  std::vector<sweep::Finding> findings;
  std::size_t cases = 0, runs = 0;
  for (const sweep::Track& track : tracks) {
    const bool lfbo = row.tracks.front() == "LFBO" && track.world == "LFBO" && !track.scripted;
    if (!lfbo && std::find(row.tracks.begin(), row.tracks.end(), track.name) == row.tracks.end()) continue;
    for (const sweep::Case& c : sweep::gf_cases(track, kEveryKth)) {
      if (cases++ % row.parts != row.part) continue;
      ScratchFolder scratch(std::to_string(runs++));
      for (sweep::Finding& f : sweep::gf_runCase(c, scratch.path())) findings.push_back(std::move(f));
    }
  }
  ASSERT_GT(runs, 0u) << "no track of this row";
  std::ostringstream table;
  sweep::gf_printTable(table, findings);
  std::cout << runs << " runs\n" << table.str();
  for (const sweep::Finding& f : findings)
    EXPECT_TRUE(!f.excusedBy.empty() || std::any_of(known.begin(), known.end(), [&](const sweep::KnownRow& row) {
      return sweep::gf_matches(row, f);
    }))
        << f.track << " entry " << f.entryLine << " " << sweep::gf_playedName(f.mutation, f.conditions) << ": "
        << f.check << " at tick " << f.tick << " by " << f.amount;
}

// Each group of tracks in parts that keep within a test's time limit under the
// sanitizers on a loaded machine (the other days and the thinned feed made
// every case list longer).
std::vector<Row> lf_rows() {
  const std::pair<std::vector<std::string>, std::size_t> groups[] = {
      {{"SAS69E"}, 4},
      {{"SAS1136"}, 10},
      {{"SAS005", "SAS2023", "THY5HT"}, 4},
      {{"LFBO"}, 6},
      {{"CIRCUIT", "SETOFF18", "SETOFF25", "WAIT40", "WAIT120"}, 3},
      {{"LINEUP", "ARRIVE0FT", "PUSH1.5", "PUSH2", "PUSH3", "PUSH5", "PUSH2T0", "PULL3", "PULL8"}, 4}};
  std::vector<Row> rows;
  for (const auto& [tracks, parts] : groups)
    for (std::size_t part = 0; part < parts; ++part) rows.push_back(Row{tracks, part, parts});
  return rows;
}

INSTANTIATE_TEST_SUITE_P(Tracks, FollowReports, ::testing::ValuesIn(lf_rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                           return info.param.tracks.front() + "_" + std::to_string(info.param.part + 1) +
                                  "of" + std::to_string(info.param.parts);
                         });

}  // namespace

// Flight-plan files of live aircraft and their folder.
#include <gtest/gtest.h>

#include <fstream>

#include "core/paths.h"
#include "sim_link_support.h"
#include "traffic/flight_plans.h"
#include "traffic/sim_ids.h"

using namespace simlink;

namespace {

// Lines as the platform's text mode reads them back, whatever its line end.
std::vector<std::string> textLines(const std::filesystem::path& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ActBase aircraftOf(AircraftCategory category, std::string origin, std::string destination) {
  ActBase a;
  a.category = category;
  a.key.origin = std::move(origin);
  a.key.destination = std::move(destination);
  return a;
}

class FlightPlanTest : public SimLinkTest {
 protected:
  void TearDown() override {
    gf_setDataFolder({});
    gFlightPlanFolder.clear();
    SimLinkTest::TearDown();
  }
};

TEST_F(FlightPlanTest, FlightPlanFilesInTheirFolder) {
  // Never created: nothing to remove, nothing logged.
  gFlightPlanFolder = m_scratch / "never" / "orig_dest";
  EXPECT_TRUE(gf_removeFlightPlanFolder());
  EXPECT_TRUE(m_log.lines().empty());

  gf_setDataFolder(m_scratch / "data");  // not there yet: made with the plan folder
  ASSERT_TRUE(gf_createFlightPlanFolder());
  EXPECT_EQ(gFlightPlanFolder, m_scratch / "data" / "orig_dest");
  EXPECT_TRUE(gf_createFlightPlanFolder());  // a second start finds it

  struct Case {
    AircraftCategory category;
    std::string origin, destination;
    std::uint32_t objectId;
    std::string fileName, type, departure, arrival;
  } cases[] = {
      {3, "EHAM", "KJFK", 5123, "5123.pln", "IFR", "EHAM", "KJFK"},
      {1, "EGLL", "LFPG", 7, "7.pln", "IFR", "EGLL", "LFPG"},
      {0, "EDDF", "EDDM", 8, "8.pln", "VFR", "EDDF", "EDDM"},
      {5, "EHAM", "EHRD", 9, "9.pln", "VFR", "EHAM", "EHRD"},
      {2, "A&B", "<C>", 100, "100.pln", "IFR", "A&amp;B", "&lt;C&gt;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(lf_planFileName(c.objectId), std::filesystem::path(c.fileName));
    const auto file = gFlightPlanFolder / lf_planFileName(c.objectId);
    ASSERT_TRUE(gf_writeFlightPlan(file, aircraftOf(c.category, c.origin, c.destination)));
    EXPECT_EQ(textLines(file), (std::vector<std::string>{
                                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                   "<SimBase.Document Type=\"AceXML\" version=\"4,3\">",
                                   "<FlightPlan.FlightPlan>",
                                   "<FPType>" + c.type + "</FPType>",
                                   "<DepartureID>" + c.departure + "</DepartureID>",
                                   "<DestinationID>" + c.arrival + "</DestinationID>",
                                   "</FlightPlan.FlightPlan>",
                                   "</SimBase.Document>",
                               }));
  }
  EXPECT_FALSE(gf_writeFlightPlan(m_scratch / "no such folder" / "1.pln", aircraftOf(3, "EHAM", "KJFK")));

  // The simulator reads the escaped plan back to the feed's codes.
  standin::Scenario sc;
  standin::AircraftSpec other;
  other.title = "Known Livery";
  sc.objects.push_back(other);
  startStandIn(sc);
  openInLockstep();
  {
    std::lock_guard lock(gScMutex);
    SimConnect_AISetAircraftFlightPlan(gHSimConnect, 100, (gFlightPlanFolder / "100.pln").string().c_str(),
                                       REQ_FLIGHT_PLAN);
  }
  settle();
  const auto plans = trace("flight_plan");
  ASSERT_EQ(plans.size(), 1u);
  EXPECT_EQ(plans[0]["departure"], "A&B");
  EXPECT_EQ(plans[0]["destination"], "<C>");

  EXPECT_TRUE(gf_removeFlightPlanFolder());
  EXPECT_FALSE(std::filesystem::exists(gFlightPlanFolder));
  EXPECT_TRUE(std::filesystem::exists(m_scratch / "data"));
}

}  // namespace

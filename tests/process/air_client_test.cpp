// The Air client: found by its executable name in any letter case while no id
// is recorded; without one, every check looks again and a start fails.
//
// Every test here runs a copy named like "KavCLient.exe" or checks that none
// runs, so this executable holds the ctest resource lock "KavClientName".
#include <memory>

#include "platform/paths.h"
#include "process_fixture.h"

namespace {

using namespace TamberTest;

const std::string kFound = "INFO: I found what appears to be a new handle for KavCLient.exe.  New: ";
const std::string kNotFound =
    "ERROR: Looking for air at KavCLient.exe to fill in new proc info, but did not find it.\n";

using AirClient = ProcessHelperTest;

TEST_F(AirClient, WithNoneRunningEveryCheckLooksAgainAndAStartFails) {
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "C:\\Air\\KavCLient.exe", "game"));
    EXPECT_EQ(std::make_tuple(0, 0), std::make_tuple(Running(VANTORPROCESSTYPE_AIR), Running(VANTORPROCESSTYPE_AIR)));
    EXPECT_EQ(0u, RecordedId(VANTORPROCESSTYPE_AIR));
    EXPECT_EQ(1, AdoptAirClientProcess());
    EXPECT_EQ(OnDisk(kNotFound + kNotFound + kNotFound), Logged());
    // A failed start logs the working directory alone, without a line end of its own.
    TempDir folder;
    ASSERT_EQ(1, VantorProcessHelper_Init("launcher", folder.File("KavCLient.exe").c_str(), "game"));
    EXPECT_EQ(0, VantorProcessHelper_StartProcess(VANTORPROCESSTYPE_AIR, "-- 5000"));
    const std::string directoryLine = "ERROR: " + folder.Path().string() + Tamber::PathSeparator();
    EXPECT_NE(std::string::npos, Logged().find(directoryLine + OnDisk("ERROR: Failed to start process.\n")))
        << Logged();
}

// A running client is adopted whatever its letter case, every one found is
// logged, and of several the one that the system lists last is recorded; once
// recorded, its id is asked of the system without another search.
TEST_F(AirClient, TheLastListedRunningClientIsAdoptedWhateverItsLetterCase) {
    ChildProgram lower("kavclient.exe"), again("kavclient.exe");
    std::vector<std::unique_ptr<RunningChild>> clients;
    for (const ChildProgram* added : {&lower, &again}) {
        clients.push_back(std::make_unique<RunningChild>(*added));
        ASSERT_TRUE(added->WaitForReport(clients.back()->Id()));
        const std::size_t before = Logged().size();
        ASSERT_EQ(1, VantorProcessHelper_Init("launcher", "air", "game"));
        EXPECT_EQ(1, Running(VANTORPROCESSTYPE_AIR));
        const std::vector<uint32_t> listed = ProcessIdsNamed(lower.Name());
        ASSERT_EQ(clients.size(), listed.size());
        EXPECT_EQ(listed.back(), RecordedId(VANTORPROCESSTYPE_AIR));
        const std::string logged = Logged().substr(before);
        EXPECT_EQ(std::make_tuple(clients.size(), clients.size()),
                  std::make_tuple(CountOf(logged, kFound), CountOf(logged, "\n")))
            << logged;
        EXPECT_EQ(1, Running(VANTORPROCESSTYPE_AIR));
        EXPECT_EQ(logged, Logged().substr(before));
    }
}

// A start logs the registered window handle.
}  // namespace

// The longest extra arguments that StartArgs accepts reach the Air client whole.
#include <string>

#include "launcher_fixture.h"

using namespace TamberTest;

namespace {

TEST_F(Launcher, TheLongestAcceptedArgumentsArriveWhole) {
    ASSERT_EQ(1, Init());
    const std::string longest(2000, 'a');
    ASSERT_EQ(1, VantorServerController_StartArgs(longest.c_str()));
    airIds = ProcessIdsNamed(air.Name());
    ASSERT_EQ(1u, airIds.size());
    ChildReport report;
    ASSERT_TRUE(air.WaitForReport(airIds[0], &report));
    ASSERT_EQ(9u, report.argv.size());
    EXPECT_EQ(longest, report.argv[8]);
}

}  // namespace

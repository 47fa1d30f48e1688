// The machine-wide instance semaphore that the launcher holds while it runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/shared_mutex.h"
#include "test_support.h"

namespace {

// The first creator holds it, a second (here or in another process) carries
// on without it; released when the holder lets go or dies. The name reaches a
// re-executed death-test child through the environment.
TEST(InstanceSemaphoreDeathTest, FirstCreatorHoldsItUntilItLetsGoOrDies) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const char* kVariable = "TAMBER_TEST_SEMAPHORE";
    const char* inherited = std::getenv(kVariable);
    const std::string name = inherited ? inherited : "TAMBER_TEST_" + TamberTest::RandomHex(10);
#ifdef _WIN32
    _putenv_s(kVariable, name.c_str());
#else
    setenv(kVariable, name.c_str(), 1);
#endif
    // Nothing before a death statement may depend on holding: the child runs it too.
    auto first = Tamber::SharedMutex::Create(name.c_str());
    EXPECT_EXIT(std::exit(Tamber::SharedMutex::Create(name.c_str())->Holds() ? 1 : 3), testing::ExitedWithCode(3), "");
    EXPECT_TRUE(first->Holds());
    EXPECT_FALSE(Tamber::SharedMutex::Create(name.c_str())->Holds());
    first.reset();
    EXPECT_TRUE(Tamber::SharedMutex::Create(name.c_str())->Holds());
    // The child dies without releasing anything itself.
    EXPECT_EXIT(std::_Exit(Tamber::SharedMutex::Create(name.c_str())->Holds() ? 5 : 6), testing::ExitedWithCode(5), "");
    EXPECT_TRUE(Tamber::SharedMutex::Create(name.c_str())->Holds());
}

}  // namespace

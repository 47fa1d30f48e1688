// A server's listening port is never shared: SO_REUSEADDR only where it means
// a quick rebind after a restart (POSIX), never on Windows, where it would let
// another socket bind the port in use.
#ifdef _WIN32
#include <winsock2.h>
using OptionLength = int;
constexpr int kReuseAddress = 0;
#else
#include <sys/socket.h>
using OptionLength = socklen_t;
constexpr int kReuseAddress = 1;
#endif

#include <gtest/gtest.h>

#include "messaging/server.h"
#include "test_support.h"

namespace {

TEST(ListeningPort, ReuseAddressOnPosixOnlyAndNoSecondServer) {
    TamberTest::LogSession log("port");
    VantorServer* first = nullptr;
    VantorServer* second = nullptr;
    ASSERT_EQ(1, VantorServer_Create(&first));
    ASSERT_EQ(1, VantorServer_Create(&second));
    ASSERT_EQ(1, VantorServer_Start(first, 0));
    int value = -1;
    OptionLength length = sizeof value;
    EXPECT_EQ(0, getsockopt(VantorServer_ListeningSocket(first), SOL_SOCKET, SO_REUSEADDR,
                            reinterpret_cast<char*>(&value), &length));
    EXPECT_EQ(kReuseAddress, value != 0 ? 1 : 0);
    EXPECT_EQ(0, VantorServer_Start(second, VantorServer_BoundPort(first)));
    EXPECT_EQ(1, VantorServer_Delete(&second));
    EXPECT_EQ(1, VantorServer_Delete(&first));
}

}  // namespace

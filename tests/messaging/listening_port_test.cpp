// A server's listening port is never shared with a second socket.
#ifdef _WIN32
#include <ws2tcpip.h>
constexpr int kReuseAddress = 0;  // there it would let another socket bind the port in use
#else
#include <sys/socket.h>
constexpr int kReuseAddress = 1;  // only a quick rebind after a restart
#endif

#include <gtest/gtest.h>

#include "messaging/server.h"

namespace {

TEST(ListeningPort, ReuseAddressOnPosixOnlyAndNoSecondServer) {
    VantorServer *first = nullptr, *second = nullptr;
    ASSERT_EQ(1, VantorServer_Create(&first));
    ASSERT_EQ(1, VantorServer_Create(&second));
    ASSERT_EQ(1, VantorServer_Start(first, 0));
    int value = -1;
    socklen_t length = sizeof value;
    EXPECT_EQ(0, getsockopt(VantorServer_ListeningSocket(first), SOL_SOCKET, SO_REUSEADDR,
                            reinterpret_cast<char*>(&value), &length));
    EXPECT_EQ(kReuseAddress, value != 0 ? 1 : 0);
    EXPECT_EQ(0, VantorServer_Start(second, VantorServer_BoundPort(first)));
    VantorServer_Delete(&second);
    VantorServer_Delete(&first);
}

}  // namespace

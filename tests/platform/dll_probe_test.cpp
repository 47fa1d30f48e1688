// A Windows host of the DLL: a server without the host's socket library
// start, and the library unloaded while its threads run.
#include <gtest/gtest.h>

#include <string>

#include "child_program.h"
#include "piped_process.h"
#include "raw_peer.h"

namespace TamberTest {
namespace {

class DllProbe : public testing::Test {
protected:
    std::unique_ptr<PipedProcess> Run(const std::vector<std::string>& arguments) {
        auto probe = std::make_unique<PipedProcess>(ChildProgramSource("tamber_dll_probe"), arguments,
                                                    folder.Path().string());
        EXPECT_TRUE(probe->Started());
        return probe;
    }
    TempDir folder;
};

TEST_F(DllProbe, ServerStartsTheSocketLibraryItself) {
    const uint16_t port = FreePort();
    auto probe = Run({"server", std::to_string(port)});
    ASSERT_TRUE(probe->WaitForOutput("start ")) << probe->Output();
    RawPeer peer(port);
    ASSERT_TRUE(peer.Connected()) << probe->Output();
    ASSERT_TRUE(peer.Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello"));
    const auto reply = peer.Receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(VANTORMESSAGETYPE_REPLY, reply->type);
    probe->CloseInput();
    EXPECT_EQ(0, probe->WaitForExit());
    EXPECT_EQ("create 1\nstart 1\ndelete 1\n", probe->Output());
}

TEST_F(DllProbe, UnloadedWithoutRemoveWhileItsThreadsRun) {
    const ChildProgram launcher, air, game;  // never started: Init only ends leftovers of their names
    const uint16_t ports[] = {FreePort(), FreePort(), FreePort()};
    auto probe = Run({"unload", std::to_string(ports[0]), std::to_string(ports[1]), std::to_string(ports[2]),
                      launcher.Path(), air.Path(), game.Path()});
    EXPECT_EQ(0, probe->WaitForExit(std::chrono::seconds(60)));
    EXPECT_EQ("init 1\nalive 1\ninit again 1\nremove 1\n", probe->Output());
}

}  // namespace
}  // namespace TamberTest

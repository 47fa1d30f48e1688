// A Windows host of the DLL: a server without the host's socket library
// start, and the library unloaded while its threads run.
#include <gtest/gtest.h>

#include "child_program.h"
#include "piped_process.h"
#include "raw_peer.h"

namespace TamberTest {
namespace {

TEST(DllProbe, ServerStartsTheSocketLibraryItself) {
    const TempDir folder;
    const uint16_t port = FreePort();
    PipedProcess probe(ChildProgramSource("tamber_dll_probe"), {"server", std::to_string(port)},
                       folder.Path().string());
    ASSERT_TRUE(probe.WaitForOutput("start ")) << probe.Errors();
    RawPeer peer(port);
    ASSERT_TRUE(peer.Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello")) << probe.Output();
    EXPECT_EQ(VANTORMESSAGETYPE_REPLY, peer.Receive().value_or(WireMessage{}).type);
    probe.CloseInput();
    EXPECT_EQ(0, probe.WaitForExit());
    EXPECT_EQ("create 1\nstart 1\ndelete 1\n", FromDisk(probe.Output()));
}

TEST(DllProbe, UnloadedWithoutRemoveWhileItsThreadsRun) {
    const TempDir folder;
    const ChildProgram launcher, air, game;  // never started: Init only ends leftovers of their names
    PipedProcess probe(ChildProgramSource("tamber_dll_probe"),
                       {"unload", std::to_string(FreePort()), std::to_string(FreePort()),
                        std::to_string(FreePort()), launcher.Path(), air.Path(), game.Path()},
                       folder.Path().string());
    EXPECT_EQ(0, probe.WaitForExit(std::chrono::seconds(60)));
    EXPECT_EQ("init 1\nalive 1\ninit again 1\nremove 1\n", FromDisk(probe.Output()));
}

}  // namespace
}  // namespace TamberTest

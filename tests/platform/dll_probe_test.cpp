// A Windows host of the DLL: a server without the host's socket library
// start, and the library unloaded while its threads run.
#include <gtest/gtest.h>

#include <fstream>

#include "child_program.h"
#include "raw_peer.h"

namespace TamberTest {
namespace {

// Runs the probe from the folder of the DLL with arguments after its output file;
// ends it by id if it outlives the test.
class Probe {
public:
    Probe(const TempDir& folder, const std::string& arguments)
        : out_(folder.File("probe.txt")),
          process_(ChildProgramSource("tamber_dll_probe"), "\"" + out_ + "\" " + arguments) {}
    bool Ended() const { return WaitForProcessGone(process_.Id()); }
    bool Says(const std::string& text) const {
        return WaitUntil([&] { return Output().find(text) != std::string::npos; }, std::chrono::seconds(30));
    }
    std::string Output() const { return FromDisk(ReadFile(out_)); }
    void Stop() const { std::ofstream(out_ + ".stop").put('1'); }

private:
    std::string out_;
    RunningChild process_;
};

TEST(DllProbe, ServerStartsTheSocketLibraryItself) {
    const TempDir folder;
    const uint16_t port = FreePort();
    const Probe probe(folder, "server " + std::to_string(port));
    ASSERT_TRUE(probe.Says("start ")) << probe.Output();
    RawPeer peer(port);
    ASSERT_TRUE(peer.Send(VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "hello")) << probe.Output();
    EXPECT_EQ(VANTORMESSAGETYPE_REPLY, peer.Receive().value_or(WireMessage{}).type);
    probe.Stop();
    EXPECT_TRUE(probe.Ended());
    EXPECT_EQ("create 1\nstart 1\ndelete 1\n", probe.Output());
}

TEST(DllProbe, UnloadedWithoutRemoveWhileItsThreadsRun) {
    const TempDir folder;
    const ChildProgram launcher, air, game;  // never started: Init only ends leftovers of their names
    const Probe probe(folder, "unload " + std::to_string(FreePort()) + " " + std::to_string(FreePort()) + " " +
                                  std::to_string(FreePort()) + " \"" + launcher.Path() + "\" \"" + air.Path() +
                                  "\" \"" + game.Path() + "\"");
    EXPECT_TRUE(probe.Ended());
    EXPECT_EQ("init 1\nalive 1\ninit again 1\nremove 1\n", probe.Output());
}

}  // namespace
}  // namespace TamberTest

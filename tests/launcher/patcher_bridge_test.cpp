#include <filesystem>
#include <fstream>

#include "launcher_fixture.h"
#include "platform/dynlib.h"
#include "platform/paths.h"
#include "platform/strings.h"

using namespace TamberTest;

namespace {

// The stand-in patcher libraries built beside the tests.
std::string BuiltLibrary(const std::string& stem) {
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetModuleDirectory(directory, sizeof directory);
    return directory + stem + std::filesystem::path(Tamber::PatcherLibraryFileName()).extension().string();
}

class Patcher : public Launcher {
protected:
    // Puts a patcher library in the working directory under the name the launcher looks for.
    void InstallPatcher(const std::string& stem = "patcher") {
        std::filesystem::copy_file(BuiltLibrary(stem), log.Folder().File(Tamber::PatcherLibraryFileName()));
    }
    void SetAnswer(const std::string& answer) { std::ofstream(log.Folder().File("patcher-answer.txt")) << answer; }
    std::string Calls() const { return FromDisk(ReadFile(log.Folder().File("patcher-calls.txt"))); }
    // Sends a progress poll and returns the answer's payload.
    std::string Poll(int32_t messageType) {
        airPeer->Send(messageType);
        const WireMessage answer = ToAir().value_or(WireMessage{16, 1, -1, -1, "<none>"});
        EXPECT_EQ(messageType, answer.type);
        return answer.payload;
    }
};

// Without a library, or with one that lacks a function, patching is off: the
// load is tried once, answers are empty, nothing reaches the library, and a
// version's game falls back to the latest.
class PatcherOff : public Patcher, public testing::WithParamInterface<std::string> {};
INSTANTIATE_TEST_SUITE_P(MissingOrLacking, PatcherOff, testing::Values("", "patcher_lacking"));

TEST_P(PatcherOff, AnswersAreEmptyAndTheLatestGameStarts) {
    if (!GetParam().empty()) InstallPatcher(GetParam());
    SetAnswer("42%");
    Connect();
    EXPECT_EQ("", Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    EXPECT_EQ("", Poll(VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS));
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, "v2");
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION, "v9");
    EXPECT_EQ(1u,
              CountOf(log.Lines(), GetParam().empty() ? "INFO: Could not load patching support. Back patching "
                                                        "support for replays is disabled.\n"
                                                      : "ERROR: Could not load EnumerateUninstallableGameVersions\n"));
    EXPECT_EQ(1u, CountOf(log.Lines(), "Could not load "));
    EXPECT_EQ("", Calls());
    EXPECT_EQ(1u, CountOf(log.Lines(), "INFO: Installing game version v2\n"));
    EXPECT_EQ(1u, CountOf(log.Lines(), "ERROR: Failed to get path for game version: v9, defaulting to latest\n"));
    EXPECT_EQ((std::vector<std::string>{std::to_string(gamePort), launcher.Path(), air.Path(), ""}),
              Started(game).second);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION);  // no payload: nothing
    EXPECT_EQ(1u, ProcessIdsNamed(game.Name()).size());
}

}  // namespace

// Every request reaches the library; a full answer buffer is cut to 1023
// characters; a long version name reaches the library whole and is cut in
// the log only; a known version's game is the patcher's.
TEST_F(Patcher, EveryRequestReachesTheLibrary) {
    InstallPatcher();
    ChildProgram versioned;
    SetAnswer("42% " + versioned.Path());
    Connect();
    const std::pair<int32_t, const char*> requests[] = {{VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, "v2"},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_INSTALL, ""},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PREVIEW, "v3"},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_PREVIEW, ""},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_VERSION, "v4"},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL, ""},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PREVIEW, "v5"},
                                                        {VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL_PREVIEW, ""}};
    for (const auto& [type, version] : requests) SendAndWait(*airPeer, type, version);
    const std::pair<int32_t, std::string> polls[] = {
        {VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS, "GetInstallGameProgress"},
        {VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_PROGRESS, "GetPreviewGameProgress"},
        {VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PROGRESS, "GetUninstallGameProgress"},
        {VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_UNINSTALL_PROGRESS, "GetPreviewUninstallGameProgress"},
        {VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS, "EnumerateUninstallableGameVersions"}};
    for (const auto& [type, function] : polls) EXPECT_EQ(function + ":42%", Poll(type));
    EXPECT_EQ(
        "InstallGameVersion(v2)\nCancelInstallGame()\nPreviewGameVersion(v3)\nCancelPreviewGame()\n"
        "UninstallGameVersion(v4)\nCancelUninstallGame()\nPreviewUninstallGameVersion(v5)\n"
        "CancelPreviewUninstallGame()\nGetInstallGameProgress(1024)\nGetPreviewGameProgress(1024)\n"
        "GetUninstallGameProgress(1024)\nGetPreviewUninstallGameProgress(1024)\n"
        "EnumerateUninstallableGameVersions(1024)\n",
        Calls());
    EXPECT_EQ(0u, CountOf(log.Lines(), "Could not load"));
    SetAnswer("FULL");
    EXPECT_EQ(std::string(1023, 'p'), Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    const std::string version(200, 'v');
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, version);
    EXPECT_NE(std::string::npos, Calls().find("InstallGameVersion(" + version + ")\n"));
    const std::string line = "INFO: Installing game version " + version.substr(0, 127 - 24);
    EXPECT_EQ(1u, CountOf(log.Lines(), line));
    EXPECT_EQ(0u, CountOf(log.Lines(), line + "v"));
    SetAnswer("42% " + versioned.Path());
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION, "v1 -a b");
    EXPECT_EQ("-a b", Started(versioned).second.back());
    EXPECT_EQ(0u, ProcessIdsNamed(game.Name()).size());
}

namespace {

// A host whose patcher-path callback takes its time: it answers with the
// stand-in library once the test lets it.
std::atomic<bool> g_pathAsked{false};
std::atomic<bool> g_pathReleased{false};

int32_t VANTOR_CALL SlowPatcherPath(char* buffer, int32_t size) {
    g_pathAsked = true;
    WaitUntil([] { return g_pathReleased.load(); });
    Tamber::std_strncpy(buffer, BuiltLibrary("patcher").c_str(), static_cast<std::size_t>(size));
    return 0;
}

}  // namespace

// A version launch on a second Air connection while the first one's request
// is loading the library waits for that load and starts the version's game.
TEST_F(Patcher, AVersionLaunchWaitsForTheLoadUnderWay) {
    ChildProgram versioned;
    SetAnswer("42% " + versioned.Path());
    Connect(SlowPatcherPath);
    const auto second = ConnectListed(airPort);
    airPeer->Send(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS);
    ASSERT_TRUE(WaitUntil([] { return g_pathAsked.load(); }));
    second->Send(VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION, "v1 -a b");
    ASSERT_TRUE(log.Has("ReceiveMessage [VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION]"));
    g_pathReleased = true;
    EXPECT_EQ("GetInstallGameProgress:42%", ToAir().value_or(WireMessage{16, 1, -1, -1, "<none>"}).payload);
    EXPECT_EQ("-a b", Started(versioned).second.back());
    EXPECT_EQ(0u, ProcessIdsNamed(game.Name()).size());
    EXPECT_TRUE(log.Lacks("Failed to get path for game version"));
}

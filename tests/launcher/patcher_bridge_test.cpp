#include <filesystem>

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
    const std::string extension = std::filesystem::path(Tamber::PatcherLibraryFileName()).extension().string();
    return std::string(directory) + stem + extension;
}

class Patcher : public Launcher {
protected:
    // Puts a patcher library in the working directory under the name the launcher looks for.
    void InstallPatcher(const std::string& stem = "patcher") {
        std::filesystem::copy_file(BuiltLibrary(stem), log.Folder().File(Tamber::PatcherLibraryFileName()));
    }
    void Connect() {
        InitAndStart();
        airPeer = ConnectAir();
    }
    std::string Calls() const { return ReadFile(log.Folder().File("patcher-calls.txt")); }
    // Sends a progress poll and returns the answer's payload.
    std::string Poll(int32_t messageType) {
        airPeer->Send(messageType);
        auto answer = airPeer->ReceiveSkippingReplies();
        EXPECT_TRUE(answer);
        if (!answer) return "<none>";
        EXPECT_EQ(messageType, answer->type);
        return answer->payload;
    }

    std::unique_ptr<RawPeer> airPeer;
};

TEST_F(Patcher, MissingLibraryIsTriedOnceAndAnswersAreEmpty) {
    Connect();
    EXPECT_EQ("", Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    EXPECT_EQ("", Poll(VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS));
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, "v2");
    EXPECT_EQ(1u, CountOf(Log(), "INFO: Could not load patching support. Back patching support for replays is disabled.\n"));
    EXPECT_NE(std::string::npos, Log().find("INFO: Installing game version v2\n"));
    EXPECT_NE(std::string::npos, Log().find("INFO: Enumerating uninstallable game versions\n"));
}

TEST_F(Patcher, EveryRequestReachesTheLibrary) {
    InstallPatcher();
    SetEnvironment("TAMBER_PATCHER_TEXT", "42%");
    Connect();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, "v2");
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CANCEL_INSTALL);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PREVIEW, "v3");
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CANCEL_PREVIEW);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_VERSION, "v4");
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL);
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PREVIEW, "v5");
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL_PREVIEW);
    EXPECT_EQ("GetInstallGameProgress:42%", Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    EXPECT_EQ("GetPreviewGameProgress:42%", Poll(VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_PROGRESS));
    EXPECT_EQ("GetUninstallGameProgress:42%", Poll(VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PROGRESS));
    EXPECT_EQ("GetPreviewUninstallGameProgress:42%", Poll(VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_UNINSTALL_PROGRESS));
    EXPECT_EQ("EnumerateUninstallableGameVersions:42%", Poll(VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS));
    EXPECT_EQ(OnDisk("InstallGameVersion(v2)\nCancelInstallGame()\nPreviewGameVersion(v3)\nCancelPreviewGame()\n"
                     "UninstallGameVersion(v4)\nCancelUninstallGame()\nPreviewUninstallGameVersion(v5)\n"
                     "CancelPreviewUninstallGame()\nGetInstallGameProgress(1024)\nGetPreviewGameProgress(1024)\n"
                     "GetUninstallGameProgress(1024)\nGetPreviewUninstallGameProgress(1024)\n"
                     "EnumerateUninstallableGameVersions(1024)\n"),
              OnDisk(Calls()));
    const char* lines[] = {"INFO: Installing game version v2\n", "INFO: Cancelling game install\n",
                           "INFO: Previewing game version v3\n", "INFO: Cancelling game preview\n",
                           "INFO: Uninstalling game version v4\n", "INFO: Cancelling uninstall\n",
                           "INFO: Previewing uninstall version v5\n", "INFO: Cancelling uninstall preview\n"};
    for (const char* line : lines) EXPECT_EQ(1u, CountOf(Log(), line)) << line;
    EXPECT_EQ(0u, CountOf(Log(), "Could not load"));

    // A long version name reaches the library whole and is cut in the log only.
    const std::string version(200, 'v');
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, version);
    EXPECT_NE(std::string::npos, OnDisk(Calls()).find(OnDisk("InstallGameVersion(" + version + ")\n")));
    const std::string line = "INFO: Installing game version " + version.substr(0, 127 - 24);
    EXPECT_NE(std::string::npos, Log().find(line));
    EXPECT_EQ(std::string::npos, Log().find(line + "v"));
}

// The answer is set before any thread of the library runs.
TEST_F(Patcher, AFullProgressBufferIsCutTo1023Characters) {
    InstallPatcher();
    SetEnvironment("TAMBER_PATCHER_TEXT", "FULL");
    Connect();
    EXPECT_EQ(std::string(1023, 'p'), Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
}

TEST_F(Patcher, ALibraryLackingOneFunctionTurnsAllPatchingOff) {
    InstallPatcher("patcher_lacking");
    SetEnvironment("TAMBER_PATCHER_TEXT", "42%");
    Connect();
    EXPECT_EQ("", Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION, "v2");
    EXPECT_EQ(1u, CountOf(Log(), "ERROR: Could not load EnumerateUninstallableGameVersions\n"));
    EXPECT_EQ(1u, CountOf(Log(), "ERROR: Could not load "));
    EXPECT_EQ("", Calls());
}

TEST_F(Patcher, CreateVersionLaunchesThePatchersGame) {
    InstallPatcher();
    ChildProgram versioned;
    SetEnvironment("TAMBER_PATCHER_GAME", versioned.Path());
    Connect();
    SendAndWait(*airPeer, VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION, "v1 -a b");
    std::vector<uint32_t> ids;
    ASSERT_TRUE(WaitUntil([&] {
        ids = ProcessIdsNamed(versioned.Name());
        return !ids.empty();
    }));
    ChildReport report;
    ASSERT_TRUE(versioned.WaitForReport(ids[0], &report));
    EXPECT_EQ("-a b", report.argv.back());
    EXPECT_TRUE(ProcessIdsNamed(game.Name()).empty());
}

std::mutex g_callbackLock;  // the callback runs on a socket thread
std::string g_callbackSaw;
std::string g_callbackAnswer;

int32_t VANTOR_CALL PatcherPath(char* buffer, int32_t size) {
    std::lock_guard<std::mutex> guard(g_callbackLock);
    g_callbackSaw = buffer;
    if (g_callbackAnswer.size() >= static_cast<std::size_t>(size)) return 1;
    std::copy(g_callbackAnswer.begin(), g_callbackAnswer.end(), buffer);
    buffer[g_callbackAnswer.size()] = '\0';
    return 0;
}

TEST_F(Patcher, TheHostsCallbackIsAskedWhenTheWorkingDirectoryHasNone) {
    {
        std::lock_guard<std::mutex> guard(g_callbackLock);
        g_callbackAnswer = BuiltLibrary("patcher");
    }
    SetEnvironment("TAMBER_PATCHER_TEXT", "cb");  // before any thread of the library runs
    ASSERT_EQ(1, VantorServerController_Init(launcher.Path().c_str(), launcherPort, air.Path().c_str(), airPort,
                                             game.Path().c_str(), gamePort, &events, RecordExit, RecordError,
                                             PatcherPath));
    ASSERT_EQ(1, VantorServerController_Start());
    airPeer = ConnectAir();
    EXPECT_EQ("GetInstallGameProgress:cb", Poll(VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS));
    // The buffer held the working-directory path that failed.
    std::lock_guard<std::mutex> guard(g_callbackLock);
    EXPECT_NE(std::string::npos, g_callbackSaw.find(Tamber::PatcherLibraryFileName()));
    EXPECT_EQ(0u, CountOf(Log(), "Could not load"));
}

}  // namespace

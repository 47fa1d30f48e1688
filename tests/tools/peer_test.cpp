// vantor-peer run as a real child process against a library server and a
// hand-made client, through its standard input and output.
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TamberLauncher.h"
#include "child_program.h"
#include "piped_process.h"
#include "raw_peer.h"
#include "test_support.h"

namespace TamberTest {
namespace {

// A copy of vantor-peer under a unique name in a folder of its own, run in
// that folder so that its log lands there.
class PeerCopy {
public:
    PeerCopy() : path_(folder_.File("vt" + RandomHex(10) + kExeSuffix)) {
        std::filesystem::copy_file(ChildProgramSource("vantor-peer"), path_);
        // Windows looks for the DLL beside the program; elsewhere the program
        // finds the library where it was built.
        const std::filesystem::path dll = std::filesystem::path(ChildProgramSource("vantor-peer")).parent_path() /
                                          "TamberLauncher.dll";
        if (std::filesystem::exists(dll)) std::filesystem::copy_file(dll, folder_.Path() / dll.filename());
    }

    std::unique_ptr<PipedProcess> Run(const std::vector<std::string>& arguments) const {
        auto process = std::make_unique<PipedProcess>(path_, arguments, folder_.Path().string());
        EXPECT_TRUE(process->Started());
        return process;
    }

    std::string Log() const { return ReadFile(folder_.File("vantor-peer.log")); }

private:
    TempDir folder_;
    std::string path_;
};

struct Arrival {
    int32_t type;
    std::optional<std::string> payload;
    bool operator==(const Arrival& other) const { return type == other.type && payload == other.payload; }
};

std::ostream& operator<<(std::ostream& out, const Arrival& arrival) {
    return out << arrival.type << " " << (arrival.payload ? "\"" + *arrival.payload + "\"" : "(none)");
}

// A library server on a free loopback port that records every message other
// than replies and heartbeats.
class LibraryServer {
public:
    LibraryServer() {
        for (int attempt = 0; attempt < 10 && server_ == nullptr; ++attempt) {
            port_ = FreePort();
            VantorServer_Create(&server_);
            VantorServer_SetMessageArrivedCallback(server_, this, OnMessage);
            if (!VantorServer_Start(server_, port_)) VantorServer_Delete(&server_);
        }
    }
    ~LibraryServer() { Stop(); }
    LibraryServer(const LibraryServer&) = delete;
    LibraryServer& operator=(const LibraryServer&) = delete;

    bool Listening() const { return server_ != nullptr; }
    std::string Port() const { return std::to_string(port_); }
    void Broadcast(int32_t type, const char* payload) { VantorServer_SendMessageToAllClients(server_, type, payload); }
    void Stop() {
        if (server_ != nullptr) VantorServer_Delete(&server_);
    }

    std::vector<Arrival> Arrivals() const {
        std::lock_guard<std::mutex> hold(lock_);
        return arrivals_;
    }
    bool WaitForArrivals(std::size_t count) const {
        return WaitUntil([&] { return Arrivals().size() >= count; }, std::chrono::seconds(20));
    }

private:
    static int32_t VANTOR_CALL OnMessage(void* context, int32_t type, const char* payload) {
        if (type == VANTORMESSAGETYPE_REPLY || type == VANTORMESSAGETYPE_HEARTBEAT) return 1;
        auto* self = static_cast<LibraryServer*>(context);
        std::lock_guard<std::mutex> hold(self->lock_);
        self->arrivals_.push_back({type, payload ? std::optional<std::string>(payload) : std::nullopt});
        return 1;
    }

    VantorServer* server_ = nullptr;
    uint16_t port_ = 0;
    mutable std::mutex lock_;
    std::vector<Arrival> arrivals_;
};

// Lines of text that start with prefix.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The peer's standard output and error are in text mode, like the log: its
// lines end in CR LF on Windows (OnDisk).
class PeerTest : public testing::Test {
protected:
    // vantor-peer connected to the server, or a failed expectation.
    std::unique_ptr<PipedProcess> Connect(const std::vector<std::string>& options = {}) {
        EXPECT_TRUE(server_.Listening());
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"connect", server_.Port()});
        auto peer = copy_.Run(arguments);
        EXPECT_TRUE(peer->WaitForErrors("vantor-peer: connected to 127.0.0.1:" + server_.Port())) << peer->Errors();
        return peer;
    }

    LogSession log_{"peertest"};
    LibraryServer server_;
    PeerCopy copy_;
};

TEST_F(PeerTest, TypedMessagesArriveAtTheServerByNumberOrName) {
    auto peer = Connect();
    ASSERT_TRUE(peer->Write("CHATMESSAGE_TO_GAME hello there\n"
                            "12   by number, spaces kept  \n"
                            "vantormessagetype_close\r\n"
                            "VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED\n"
                            "\n"
                            "0 last\n"));
    ASSERT_TRUE(server_.WaitForArrivals(5));
    const std::vector<Arrival> expected{{11, "hello there"},
                                        {12, "by number, spaces kept  "},
                                        {3, std::nullopt},
                                        {8, std::nullopt},
                                        {0, "last"}};
    EXPECT_EQ(server_.Arrivals(), expected);

    peer->CloseInput();
    EXPECT_EQ(peer->WaitForExit(), std::optional<int>(0));
    // Nothing to report but the connection.
    EXPECT_EQ(LinesStartingWith(peer->Errors(), "vantor-peer: ").size(), 1u) << peer->Errors();
    // The library's log, in the peer's working directory.
    const std::string log = copy_.Log();
    EXPECT_NE(log.find("SendMessage [VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME]"), std::string::npos) << log;
    EXPECT_NE(log.find("SendMessage [VANTORMESSAGETYPE_GAMECLIENT_CREATE]"), std::string::npos) << log;
}

TEST_F(PeerTest, MessagesFromTheServerArePrintedWithTheirNames) {
    auto peer = Connect();
    // Once the server has heard from the peer, its agent for the peer exists
    // and the reply to that message has already gone back.
    ASSERT_TRUE(peer->Write("LAUNCHERCLIENT\n"));
    ASSERT_TRUE(server_.WaitForArrivals(1));
    server_.Broadcast(VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "say \"hi\"\nand\tbye \\ \x01");
    server_.Broadcast(VANTORMESSAGETYPE_CLOSE, nullptr);
    ASSERT_TRUE(peer->WaitForOutput(OnDisk("VANTORMESSAGETYPE_CLOSE (3) (no payload)\n"))) << peer->Output();

    const std::vector<std::string> lines = LinesStartingWith(peer->Output(), "received ");
    const std::vector<std::string> expected{
        R"(received VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME (12) "say \"hi\"\nand\tbye \\ \x01")",
        "received VANTORMESSAGETYPE_CLOSE (3) (no payload)"};
    EXPECT_EQ(lines, expected) << peer->Output();
}

TEST_F(PeerTest, RepliesAndHeartbeatsArePrintedOnlyWhenAllAreAsked) {
    auto peer = Connect({"--all"});
    ASSERT_TRUE(peer->Write("LAUNCHERCLIENT\n"));
    ASSERT_TRUE(server_.WaitForArrivals(1));
    EXPECT_TRUE(peer->WaitForOutput(OnDisk("received VANTORMESSAGETYPE_REPLY (5) (no payload)\n")))
        << peer->Output();
}

TEST_F(PeerTest, BadInputIsRefusedWithOneLineAndThePeerCarriesOn) {
    auto peer = Connect();
    const std::string tooLong(70000, 'x');
    ASSERT_TRUE(peer->Write("FOO bar\n35\n-1\n99999999999999999999\nINVALID payload\n" + tooLong + "\n" +
                            "CHATMESSAGE_TO_GAME still here\n"));
    ASSERT_TRUE(server_.WaitForArrivals(1));
    ASSERT_TRUE(peer->WaitForErrors(OnDisk("nothing sent\n"))) << peer->Errors();
    const std::vector<std::string> notes = LinesStartingWith(peer->Errors(), "vantor-peer: ");
    ASSERT_EQ(notes.size(), 7u) << peer->Errors();
    EXPECT_NE(notes[1].find("unknown message type 'FOO'"), std::string::npos) << notes[1];
    EXPECT_NE(notes[2].find("message type 35 is out of range"), std::string::npos) << notes[2];
    EXPECT_NE(notes[3].find("message type -1 is out of range"), std::string::npos) << notes[3];
    EXPECT_NE(notes[4].find("message type 99999999999999999999 is out of range"), std::string::npos) << notes[4];
    EXPECT_NE(notes[5].find("message type INVALID (35) is out of range"), std::string::npos) << notes[5];
    EXPECT_NE(notes[6].find("line too long"), std::string::npos) << notes[6];
    // Every line of the error output is one of those notes.
    EXPECT_EQ(CountOf(peer->Errors(), "\n"), notes.size());

    const std::vector<Arrival> expected{{11, "still here"}};
    EXPECT_EQ(server_.Arrivals(), expected);
    ASSERT_TRUE(peer->Write("quit\n"));
    EXPECT_EQ(peer->WaitForExit(), std::optional<int>(0));
}

TEST_F(PeerTest, AnEndedConnectionIsReportedAndSendsAreRefused) {
    auto peer = Connect();
    server_.Stop();
    ASSERT_TRUE(peer->WaitForErrors("the other side closed the connection")) << peer->Errors();
    ASSERT_TRUE(peer->Write("CLOSE\n"));
    EXPECT_TRUE(peer->WaitForErrors("VANTORMESSAGETYPE_CLOSE was not sent: the connection has ended"))
        << peer->Errors();
    peer->CloseInput();
    EXPECT_EQ(peer->WaitForExit(), std::optional<int>(0));
}

TEST_F(PeerTest, ListeningPeerPrintsClientMessagesAndBroadcastsTypedOnes) {
    const std::string port = std::to_string(FreePort());
    auto peer = copy_.Run({"listen", port});
    ASSERT_TRUE(peer->WaitForErrors("vantor-peer: listening on 127.0.0.1:" + port)) << peer->Errors();

    RawPeer client(static_cast<uint16_t>(std::stoi(port)));
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED, "v1.2"));
    // The library's agent answers on its own.
    const auto reply = client.Receive();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->type, VANTORMESSAGETYPE_REPLY);
    EXPECT_TRUE(peer->WaitForOutput(OnDisk("received VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED (8) \"v1.2\"\n")))
        << peer->Output();

    ASSERT_TRUE(peer->Write("chatmessage_to_game to every client\n"));
    const auto chat = client.ReceiveSkippingReplies();
    ASSERT_TRUE(chat.has_value());
    EXPECT_EQ(chat->type, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME);
    EXPECT_EQ(chat->payload, "to every client");

    peer->CloseInput();
    EXPECT_EQ(peer->WaitForExit(), std::optional<int>(0));
    EXPECT_TRUE(client.WaitForClose());
}

TEST_F(PeerTest, HelpNamesBothModesAndTheLogFile) {
    auto peer = copy_.Run({"--help"});
    ASSERT_EQ(peer->WaitForExit(), std::optional<int>(0));
    EXPECT_NE(peer->Output().find("vantor-peer.log"), std::string::npos);
    EXPECT_NE(peer->Output().find("listen PORT"), std::string::npos);
    EXPECT_NE(peer->Output().find("connect PORT"), std::string::npos);
    EXPECT_EQ(peer->Errors(), "");
}

TEST_F(PeerTest, BadCommandLinesExitWithTwoAndOneLine) {
    const std::vector<std::vector<std::string>> commandLines{
        {}, {"listen"}, {"connect", "0"}, {"listen", "65536"}, {"connect", "12ab"},
        {"serve", "5000"}, {"--verbose", "listen", "5000"}, {"connect", "5000", "extra"}};
    for (const auto& arguments : commandLines) {
        auto peer = copy_.Run(arguments);
        ASSERT_EQ(peer->WaitForExit(), std::optional<int>(2));
        EXPECT_EQ(LinesStartingWith(peer->Errors(), "vantor-peer: ").size(), 1u) << peer->Errors();
        EXPECT_EQ(CountOf(peer->Errors(), "\n"), 1u) << peer->Errors();
        EXPECT_EQ(peer->Output(), "");
    }
}

TEST_F(PeerTest, NoServerOnThePortExitsWithOne) {
    const std::string port = std::to_string(FreePort());
    auto peer = copy_.Run({"connect", port});
    ASSERT_EQ(peer->WaitForExit(), std::optional<int>(1));
    EXPECT_NE(peer->Errors().find("vantor-peer: cannot connect to 127.0.0.1:" + port + ": "), std::string::npos)
        << peer->Errors();
}

}  // namespace
}  // namespace TamberTest

#include "test_support.h"

#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "TamberLauncher.h"
#include "platform/clock.h"
#include "platform/socket.h"

#include <gtest/gtest.h>

namespace TamberTest {

std::string OnDisk(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += kLineEnd;
        else
            out += c;
    }
    return out;
}

std::string FromDisk(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string RandomHex(std::size_t digits) {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < digits; ++i) out += kHex[generator() % 16];
    return out;
}

TempDir::TempDir() {
    for (;;) {
        path_ = std::filesystem::temp_directory_path() / ("tamber-" + RandomHex(12));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

WorkingDirectory::WorkingDirectory(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

LogSession::LogSession(const std::string& host) : cwd_(folder_.Path()), host_(host) {
    Vantor_Init(host.c_str());
}

LogSession::~LogSession() { Remove(); }

void LogSession::Remove() {
    if (!removed_) Vantor_Remove();
    removed_ = true;
}

std::string LogSession::LogPath() const { return folder_.File("vantor-" + host_ + ".log"); }

std::string LogSession::Text() const { return ReadFile(LogPath()); }

std::string LogSession::Lines() const { return FromDisk(Text()); }
bool LogSession::Has(const std::string& text) const {
    return WaitUntil([&] { return Lines().find(text) != std::string::npos; });
}

FastTime::FastTime() { Tamber::TestClock::SetShortPauses(true); }

FastTime::~FastTime() {
    Tamber::TestClock::SetShortPauses(false);
    Tamber::TestClock::Reset();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::size_t CountOf(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

}  // namespace TamberTest

namespace {

// Windows needs the socket library started before any socket is made.
class SocketLibraryEnvironment : public testing::Environment {
public:
    void SetUp() override { Tamber::StartSocketLibrary(); }
    void TearDown() override { Tamber::StopSocketLibrary(); }
};

const testing::Environment* const g_socketLibrary = testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);

}  // namespace

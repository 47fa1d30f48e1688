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
#ifdef _WIN32
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
#else
    return text;
#endif
}

std::string FromDisk(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string RandomHex(std::size_t digits) {
    static std::mt19937_64 generator{std::random_device{}()};
    std::string out;
    for (std::size_t i = 0; i < digits; ++i) out += "0123456789abcdef"[generator() % 16];
    return out;
}

TempDir::TempDir() {
    do path_ = std::filesystem::temp_directory_path() / ("tamber-" + RandomHex(12));
    while (!std::filesystem::create_directory(path_));
}

LogSession::LogSession(const std::string& host) : cwd_(folder_.Path()), host_(host) { Vantor_Init(host.c_str()); }

// A second Vantor_Remove, after a test's own, writes and closes nothing.
LogSession::~LogSession() { Vantor_Remove(); }

FastTime::FastTime() { Tamber::TestClock::SetShortPauses(true); }

FastTime::~FastTime() {
    Tamber::TestClock::SetShortPauses(false);
    Tamber::TestClock::Reset();
}

std::string ReadFile(const std::string& path) {
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred())
        if (std::chrono::steady_clock::now() >= deadline)
            return pred();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
struct SocketLibraryEnvironment : testing::Environment {
    void SetUp() override { Tamber::StartSocketLibrary(); }
    void TearDown() override { Tamber::StopSocketLibrary(); }
};

const testing::Environment* const g_socketLibrary = testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);

}  // namespace

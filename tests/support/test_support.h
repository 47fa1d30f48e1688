// Shared helpers of the test suites: temp folders, log files, time hooks and
// bounded waits.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace TamberTest {

// Replaces every "\n" of text with the line end of a log line as stored on
// disk (text-mode files on Windows).
std::string OnDisk(const std::string& text);
// Reads stored line ends back as "\n", for tests that search a log's content.
std::string FromDisk(const std::string& text);

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Makes folder the working directory for the scope.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }

private:
    std::filesystem::path previous_;
};

std::string ReadFile(const std::string& path);

// Polls pred every few milliseconds until it holds or timeout passes.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The library initialised with a log in a fresh temp folder; removed at the end.
class LogSession {
public:
    explicit LogSession(const std::string& host = "test");
    ~LogSession();
    std::string LogPath() const { return folder_.File("vantor-" + host_ + ".log"); }
    std::string Text() const { return ReadFile(LogPath()); }  // the whole log file, as stored
    std::string Lines() const { return FromDisk(Text()); }    // the same with "\n" line ends on every platform
    // Waits until the log holds text (written with "\n" line ends).
    bool Has(const std::string& text) const {
        return WaitUntil([&] { return !Lacks(text); });
    }
    bool Lacks(const std::string& text) const { return Lines().find(text) == std::string::npos; }
    const TempDir& Folder() const { return folder_; }

private:
    TempDir folder_;
    WorkingDirectory cwd_;
    std::string host_;
};

// Shortened pauses and a movable clock for the scope; both reset at the end.
struct FastTime {
    FastTime();
    ~FastTime();
};

// Number of non-overlapping occurrences of needle in text.
std::size_t CountOf(const std::string& text, const std::string& needle);

// A short random lowercase hex text, for unique names.
std::string RandomHex(std::size_t digits);

}  // namespace TamberTest

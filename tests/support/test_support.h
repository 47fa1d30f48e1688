// Shared helpers of the test suites: temp folders, log files, time hooks and
// bounded waits.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace TamberTest {

// Line end of a log line as stored on disk (text-mode files on Windows).
#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

// Replaces every "\n" of text with kLineEnd.
std::string OnDisk(const std::string& text);
// Reads stored line ends back as "\n", for tests that search a log's content.
std::string FromDisk(const std::string& text);

// A fresh folder under the system temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Makes folder the working directory for the scope.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& folder);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

// The library initialised with a log in a fresh temp folder; removed at the end.
class LogSession {
public:
    explicit LogSession(const std::string& host = "test");
    ~LogSession();
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;
    std::string Text() const;   // the whole log file, as stored
    std::string Lines() const;  // the same with "\n" line ends on every platform
    std::string LogPath() const;
    // Waits until the log holds text (written with "\n" line ends).
    bool Has(const std::string& text) const;
    bool Lacks(const std::string& text) const { return Lines().find(text) == std::string::npos; }
    const TempDir& Folder() const { return folder_; }

private:
    TempDir folder_;
    WorkingDirectory cwd_;
    std::string host_;
    bool removed_ = false;

public:
    // Vantor_Remove now instead of at the end.
    void Remove();
};

// Shortened pauses and a movable clock for the scope; both reset at the end.
class FastTime {
public:
    FastTime();
    ~FastTime();
    FastTime(const FastTime&) = delete;
    FastTime& operator=(const FastTime&) = delete;
};

std::string ReadFile(const std::string& path);

// Polls pred every few milliseconds until it holds or timeout passes.
bool WaitUntil(const std::function<bool()>& pred,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Number of non-overlapping occurrences of needle in text.
std::size_t CountOf(const std::string& text, const std::string& needle);

// A short random lowercase hex text, for unique names.
std::string RandomHex(std::size_t digits);

}  // namespace TamberTest

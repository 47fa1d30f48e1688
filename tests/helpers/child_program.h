// Helper processes for tests: copies of the tamber_child program under names
// of their own, started and ended by id.
//
// Kill-by-name ends every process of a name and tests run as root, so tests
// only ever start copies made here: under a unique name "vt" + hex (at most 15
// characters, kExeSuffix appended), or under a fixed name such as
// "KavCLient.exe", which a test may use only while it holds the ctest resource
// lock "KavClientName".
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace TamberTest {

// ".exe" on Windows, "" elsewhere.
extern const char* const kExeSuffix;

// A program built beside the test executable (tamber_child by default).
std::string ChildProgramSource(const std::string& program = "tamber_child");

// What one started instance saw.
struct ChildReport {
    std::string workingDirectory;
    std::vector<std::string> argv;
};

// A copy of tamber_child in a temp folder of its own (or in a subfolder of it,
// which may hold spaces). At the end every running process of the copy's name is
// ended and waited for, then the folder is removed.
class ChildProgram {
public:
    // An empty name gives a unique one. program names another test program to copy.
    explicit ChildProgram(const std::string& name = std::string(), const std::string& subfolder = std::string(),
                          const std::string& program = "tamber_child");
    ~ChildProgram() { EndAll(); }
    const std::string& Path() const { return path_; }
    const std::string& Name() const { return name_; }
    std::string Directory() const { return std::filesystem::path(path_).parent_path().string(); }

    // Instances started from now on live this long (at most 60 s; 0: end at once).
    void SetLifetime(unsigned seconds) {
        seconds_ = seconds;
        WriteSettings();
    }
    // Instances started from now on first end every other process of their name.
    void SetKillOwnName() {
        killOwnName_ = true;
        WriteSettings();
    }

    // Waits up to 30 s for instance id's report, which goes to report unless it is null.
    bool WaitForReport(uint32_t id, ChildReport* report = nullptr) const;
    // Whether instance id lived to its end rather than being ended.
    bool Finished(uint32_t id) const;
    // Ends every running process of this name and waits (bounded) until all are gone.
    void EndAll() const;

private:
    void WriteSettings() const;

    TempDir folder_;
    std::string name_;
    std::string path_;
    unsigned seconds_ = 60;
    bool killOwnName_ = false;
};

// An instance started by the test itself (not through the helper under test),
// in the program's directory; ended by id at the end of the scope.
class RunningChild {
public:
    RunningChild(const std::string& path, const std::string& arguments);
    explicit RunningChild(const ChildProgram& program, const std::string& arguments = std::string())
        : RunningChild(program.Path(), arguments) {}
    ~RunningChild();
    uint32_t Id() const { return id_; }

private:
    uint32_t id_ = 0;
};

// True while process id runs (an ended child of the test is reaped).
bool IsProcessAlive(uint32_t id);
// Waits up to 30 s for process id to be gone; true when it is.
bool WaitForProcessGone(uint32_t id);
// Ids of the other processes whose executable file name is name, in the system's list order.
std::vector<uint32_t> ProcessIdsNamed(const std::string& name);

}  // namespace TamberTest

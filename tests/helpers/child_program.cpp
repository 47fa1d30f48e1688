#include "child_program.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/strings.h"

namespace TamberTest {

#ifdef _WIN32
const char* const kExeSuffix = ".exe";
#else
const char* const kExeSuffix = "";
#endif

static std::string InstanceFile(const std::string& path, uint32_t id, const char* kind) {
    return path + "." + std::to_string(id) + kind;
}

std::string ChildProgramSource(const std::string& program) {
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetModuleDirectory(directory, sizeof directory);
    return std::string(directory) + program + kExeSuffix;
}

ChildProgram::ChildProgram(const std::string& name, const std::string& subfolder, const std::string& program)
    : name_(name.empty() ? "vt" + RandomHex(10) + kExeSuffix : name) {
    const std::filesystem::path directory = folder_.Path() / subfolder;
    std::filesystem::create_directories(directory);
    path_ = (directory / name_).string();
    std::filesystem::copy_file(ChildProgramSource(program), path_);
    WriteSettings();
}

void ChildProgram::WriteSettings() const {
    std::ofstream out(path_ + ".cfg", std::ios::binary | std::ios::trunc);
    out << "seconds " << seconds_ << '\n';
    if (killOwnName_) out << "kill-own-name\n";
}

// Terminates every process of ids, then waits (bounded) until each is gone.
static void EndAndWait(const std::vector<uint32_t>& ids) {
    for (uint32_t id : ids)
        if (const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id); process.IsOpen())
            process.Terminate();
    for (uint32_t id : ids) WaitForProcessGone(id);
}

bool ChildProgram::WaitForReport(uint32_t id, ChildReport* report) const {
    const std::string file = InstanceFile(path_, id, ".report");
    // The child renames a whole report into place, but on Windows the renaming
    // handle stays open a moment longer and an open without delete sharing then
    // fails: so read until text comes (a report is never empty).
    std::string text;
    if (!WaitUntil([&] { return !(text = ReadFile(file)).empty(); }, std::chrono::seconds(30))) return false;
    std::istringstream in(text);
    ChildReport read;
    std::getline(in, read.workingDirectory);
    for (std::string line; std::getline(in, line);) read.argv.push_back(line);
    if (report) *report = read;
    return true;
}

bool ChildProgram::Finished(uint32_t id) const { return std::filesystem::exists(InstanceFile(path_, id, ".done")); }

void ChildProgram::EndAll() const { EndAndWait(ProcessIdsNamed(name_)); }

RunningChild::RunningChild(const std::string& path, const std::string& arguments) {
    const std::string commandLine = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    const std::string directory = std::filesystem::path(path).parent_path().string();
    Tamber::ProcessIdentity child;
    Tamber::CreateChildProcess(path.c_str(), commandLine.c_str(), directory.c_str(), &child);
    id_ = child.id;
}

RunningChild::~RunningChild() { EndAndWait({id_}); }

bool IsProcessAlive(uint32_t id) {
    const Tamber::ProcessHandle process = Tamber::ProcessHandle::Open(id);
    return process.IsOpen() && process.IsRunning();
}

bool WaitForProcessGone(uint32_t id) {
    return WaitUntil([id] { return !IsProcessAlive(id); }, std::chrono::seconds(30));
}

std::vector<uint32_t> ProcessIdsNamed(const std::string& name) {
    const Tamber::ProcessId self = Tamber::CurrentProcessId();
    std::vector<uint32_t> ids;
    Tamber::ForEachProcess([&](const Tamber::ProcessHandle& process, const char* executable) {
        if (process.Id() != self && name == executable) ids.push_back(process.Id());
        return true;
    });
    return ids;
}

}  // namespace TamberTest

#include <windows.h>

#include "piped_process.h"

namespace TamberTest {

struct ChildPipes::Native {
    HANDLE process = nullptr;
    HANDLE input = nullptr;   // the child's standard input, our writing end
    HANDLE output = nullptr;  // its standard output, our reading end
    HANDLE errors = nullptr;  // its standard error, our reading end
};

namespace {

void CloseEnd(HANDLE* handle) {
    if (*handle != nullptr) CloseHandle(*handle);
    *handle = nullptr;
}

// A pipe whose child end is inheritable and whose parent end is not.
bool MakePipe(HANDLE* read, HANDLE* write, bool childReads) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    if (!CreatePipe(read, write, &attributes, 0)) return false;
    SetHandleInformation(childReads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// One argument quoted by the rules the C runtime uses to split a command line.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

}  // namespace

ChildPipes::ChildPipes(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ChildPipes::~ChildPipes() {
    CloseEnd(&native_->input);
    CloseEnd(&native_->output);
    CloseEnd(&native_->errors);
    CloseEnd(&native_->process);
}

std::unique_ptr<ChildPipes> ChildPipes::Start(const std::string& executable, const std::vector<std::string>& arguments,
                                             const std::string& workingDirectory) {
    HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr,
           errorsRead = nullptr, errorsWrite = nullptr;
    auto native = std::make_unique<Native>();
    bool made = MakePipe(&inputRead, &inputWrite, true) && MakePipe(&outputRead, &outputWrite, false) &&
                MakePipe(&errorsRead, &errorsWrite, false);
    if (made) {
        std::string commandLine = Quoted(executable);
        for (const std::string& argument : arguments) commandLine += " " + Quoted(argument);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = inputRead;
        startup.hStdOutput = outputWrite;
        startup.hStdError = errorsWrite;
        PROCESS_INFORMATION information{};
        made = CreateProcessA(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                              workingDirectory.c_str(), &startup, &information) != 0;
        if (made) {
            CloseHandle(information.hThread);
            native->process = information.hProcess;
        }
    }
    // The child's ends now live in the child only.
    CloseEnd(&inputRead);
    CloseEnd(&outputWrite);
    CloseEnd(&errorsWrite);
    native->input = inputWrite;
    native->output = outputRead;
    native->errors = errorsRead;
    if (!made) {
        CloseEnd(&native->input);
        CloseEnd(&native->output);
        CloseEnd(&native->errors);
        return nullptr;
    }
    return std::unique_ptr<ChildPipes>(new ChildPipes(std::move(native)));
}

std::size_t ChildPipes::Read(int stream, char* buffer, std::size_t size) {
    const HANDLE end = stream == 1 ? native_->output : native_->errors;
    DWORD count = 0;
    // A zero-byte write of the child reads as 0 bytes too; only a failure
    // (the pipe broken by the child's end) is the end of the stream.
    while (count == 0) {
        if (!ReadFile(end, buffer, static_cast<DWORD>(size), &count, nullptr)) return 0;
    }
    return count;
}

bool ChildPipes::Write(const char* data, std::size_t size) {
    while (size > 0 && native_->input != nullptr) {
        DWORD count = 0;
        if (!WriteFile(native_->input, data, static_cast<DWORD>(size), &count, nullptr) || count == 0) return false;
        data += count;
        size -= count;
    }
    return size == 0;
}

void ChildPipes::CloseInput() { CloseEnd(&native_->input); }

std::optional<int> ChildPipes::Wait(uint32_t ms) {
    if (WaitForSingleObject(native_->process, ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    if (!GetExitCodeProcess(native_->process, &code)) return std::nullopt;
    return static_cast<int>(code);
}

void ChildPipes::Terminate() { TerminateProcess(native_->process, 1); }

}  // namespace TamberTest

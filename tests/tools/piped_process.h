// A program run by a test as a real child process with its standard input,
// output and error on pipes: the test types into it and reads what it prints.
// Ended only as the one process it started (never by name).
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace TamberTest {

class ChildPipes;

class PipedProcess {
public:
    // Starts executable (a full path) with arguments in workingDirectory.
    PipedProcess(const std::string& executable, const std::vector<std::string>& arguments,
                 const std::string& workingDirectory);
    // Ends the input, gives the child up to 10 s to end, then terminates it.
    ~PipedProcess();
    PipedProcess(const PipedProcess&) = delete;
    PipedProcess& operator=(const PipedProcess&) = delete;

    bool Started() const { return pipes_ != nullptr; }
    // Writes text to the child's standard input; false once it is closed or gone.
    bool Write(const std::string& text);
    // The end of the child's input.
    void CloseInput();

    // Everything the child printed so far.
    std::string Output() const;
    std::string Errors() const;
    // Waits until the output (or error output) holds needle.
    bool WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    bool WaitForErrors(const std::string& needle, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // The exit code once the child has ended within timeout, and by then all
    // it printed has been read; nothing otherwise.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    void Collect(int stream);
    void JoinReaders();

    std::unique_ptr<ChildPipes> pipes_;
    mutable std::mutex lock_;
    std::string output_;
    std::string errors_;
    std::thread outputReader_;
    std::thread errorReader_;
};

// The platform's half: a started child and the parent's ends of its pipes.
// Defined once per platform (piped_process_posix.cpp, piped_process_win32.cpp).
class ChildPipes {
public:
    // Null when the child could not be started.
    static std::unique_ptr<ChildPipes> Start(const std::string& executable, const std::vector<std::string>& arguments,
                                             const std::string& workingDirectory);
    // Closes the parent's ends that are still open. The child must have ended,
    // or the readers could still be reading.
    ~ChildPipes();
    ChildPipes(const ChildPipes&) = delete;
    ChildPipes& operator=(const ChildPipes&) = delete;

    // Blocks for up to size bytes of stream 1 (output) or 2 (errors); 0 at its end.
    std::size_t Read(int stream, char* buffer, std::size_t size);
    bool Write(const char* data, std::size_t size);
    void CloseInput();
    // The exit code when the child ends within ms milliseconds.
    std::optional<int> Wait(uint32_t ms);
    // Ends the child at once (POSIX: by its id, unless it has already been
    // waited for; Windows: through the handle kept since its start).
    void Terminate();

private:
    struct Native;
    explicit ChildPipes(std::unique_ptr<Native> native);
    std::unique_ptr<Native> native_;
};

}  // namespace TamberTest

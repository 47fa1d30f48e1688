#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "piped_process.h"

extern char** environ;

namespace TamberTest {

struct ChildPipes::Native {
    pid_t pid = 0;
    int input = -1;   // the child's standard input, our writing end
    int output = -1;  // its standard output, our reading end
    int errors = -1;  // its standard error, our reading end
    std::optional<int> exitCode;
};

namespace {

void CloseEnd(int* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

// Both ends close-on-exec, so no other child of the test inherits them; the
// child's copies made by dup2 are inheritable again.
bool MakePipe(int ends[2]) { return pipe2(ends, O_CLOEXEC) == 0; }

}  // namespace

ChildPipes::ChildPipes(std::unique_ptr<Native> native) : native_(std::move(native)) {}

ChildPipes::~ChildPipes() {
    CloseEnd(&native_->input);
    CloseEnd(&native_->output);
    CloseEnd(&native_->errors);
}

std::unique_ptr<ChildPipes> ChildPipes::Start(const std::string& executable, const std::vector<std::string>& arguments,
                                             const std::string& workingDirectory) {
    // A write to a child that has gone must fail, not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    int input[2], output[2], errors[2];
    if (!MakePipe(input)) return nullptr;
    if (!MakePipe(output)) {
        close(input[0]);
        close(input[1]);
        return nullptr;
    }
    if (!MakePipe(errors)) {
        for (int fd : {input[0], input[1], output[0], output[1]}) close(fd);
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

    std::vector<std::string> words{executable};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    auto native = std::make_unique<Native>();
    const int failed = posix_spawn(&native->pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    // The child's ends now live in the child only.
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    native->input = input[1];
    native->output = output[0];
    native->errors = errors[0];
    if (failed != 0) {
        CloseEnd(&native->input);
        CloseEnd(&native->output);
        CloseEnd(&native->errors);
        return nullptr;
    }
    return std::unique_ptr<ChildPipes>(new ChildPipes(std::move(native)));
}

std::size_t ChildPipes::Read(int stream, char* buffer, std::size_t size) {
    const int fd = stream == 1 ? native_->output : native_->errors;
    for (;;) {
        const ssize_t count = read(fd, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return 0;
    }
}

bool ChildPipes::Write(const char* data, std::size_t size) {
    while (size > 0 && native_->input >= 0) {
        const ssize_t count = write(native_->input, data, size);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return size == 0;
}

void ChildPipes::CloseInput() { CloseEnd(&native_->input); }

std::optional<int> ChildPipes::Wait(uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!native_->exitCode) {
        int status = 0;
        const pid_t done = waitpid(native_->pid, &status, WNOHANG);
        if (done == native_->pid) {
            native_->exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            return std::nullopt;
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return native_->exitCode;
}

void ChildPipes::Terminate() {
    // Once waited for, the id may belong to someone else.
    if (!native_->exitCode) kill(native_->pid, SIGKILL);
}

}  // namespace TamberTest

#include "piped_process.h"

#include "test_support.h"

namespace TamberTest {
namespace {

constexpr uint32_t kEndWaitMs = 10000;

}  // namespace

PipedProcess::PipedProcess(const std::string& executable, const std::vector<std::string>& arguments,
                           const std::string& workingDirectory)
    : pipes_(ChildPipes::Start(executable, arguments, workingDirectory)) {
    if (!pipes_) return;
    outputReader_ = std::thread([this] { Collect(1); });
    errorReader_ = std::thread([this] { Collect(2); });
}

PipedProcess::~PipedProcess() {
    if (!pipes_) return;
    pipes_->CloseInput();
    if (!pipes_->Wait(kEndWaitMs)) {
        pipes_->Terminate();
        pipes_->Wait(kEndWaitMs);
    }
    JoinReaders();
}

void PipedProcess::JoinReaders() {
    // The child is gone, so its ends of the pipes are closed and both readers
    // reach the end of their stream.
    if (errorReader_.joinable()) errorReader_.join();
    if (outputReader_.joinable()) outputReader_.join();
}

void PipedProcess::Collect(int stream) {
    char buffer[4096];
    for (;;) {
        const std::size_t count = pipes_->Read(stream, buffer, sizeof buffer);
        if (count == 0) return;
        std::lock_guard<std::mutex> hold(lock_);
        (stream == 1 ? output_ : errors_).append(buffer, count);
    }
}

bool PipedProcess::Write(const std::string& text) { return pipes_ && pipes_->Write(text.data(), text.size()); }

void PipedProcess::CloseInput() {
    if (pipes_) pipes_->CloseInput();
}

std::string PipedProcess::Output() const {
    std::lock_guard<std::mutex> hold(lock_);
    return output_;
}

std::string PipedProcess::Errors() const {
    std::lock_guard<std::mutex> hold(lock_);
    return errors_;
}

bool PipedProcess::WaitForOutput(const std::string& needle, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Output().find(needle) != std::string::npos; }, timeout);
}

bool PipedProcess::WaitForErrors(const std::string& needle, std::chrono::milliseconds timeout) const {
    return WaitUntil([&] { return Errors().find(needle) != std::string::npos; }, timeout);
}

std::optional<int> PipedProcess::WaitForExit(std::chrono::milliseconds timeout) {
    if (!pipes_) return std::nullopt;
    const std::optional<int> code = pipes_->Wait(static_cast<uint32_t>(timeout.count()));
    if (code) JoinReaders();
    return code;
}

}  // namespace TamberTest

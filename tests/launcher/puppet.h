// What the test Air client and test game share: an event file that the test
// reads and a command file that the test writes, both beside the executable.
#pragma once

#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

#include "platform/paths.h"
#include "platform/strings.h"

namespace Puppet {

inline std::string Beside(const char* name) {
    char directory[Tamber::kMaxPath] = {};
    Tamber::GetModuleDirectory(directory, sizeof directory);
    return std::string(directory) + name;
}

// Appends one line per event; safe from the socket thread and the main thread.
class EventFile {
public:
    explicit EventFile(const char* name) : path_(Beside(name)) {}
    void Record(const std::string& line) {
        std::lock_guard<std::mutex> guard(lock_);
        if (std::FILE* file = std::fopen(path_.c_str(), "ab")) {
            std::fprintf(file, "%s\n", line.c_str());
            std::fclose(file);
        }
    }

private:
    std::string path_;
    std::mutex lock_;
};

// Hands out each new whole line of the command file once.
class CommandFile {
public:
    explicit CommandFile(const char* name) : path_(Beside(name)) {}
    bool Next(std::string& line) {
        std::ifstream in(path_, std::ios::binary);
        if (!in) return false;
        in.seekg(static_cast<std::streamoff>(offset_));
        std::string text;
        if (!std::getline(in, text) || in.eof()) return false;  // only whole lines
        offset_ += text.size() + 1;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        line = text;
        return true;
    }

private:
    std::string path_;
    std::size_t offset_ = 0;
};

inline std::string Text(const char* payload) { return payload ? payload : "<null>"; }

}  // namespace Puppet

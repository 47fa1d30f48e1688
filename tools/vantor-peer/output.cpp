#include "output.h"

#include <cstdio>

#include "TamberLauncher.h"
#include "commands.h"

namespace Peer {
namespace {

void AppendEscaped(std::string* out, const char* payload) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char* p = payload; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        switch (c) {
            case '"':
                *out += "\\\"";
                break;
            case '\\':
                *out += "\\\\";
                break;
            case '\n':
                *out += "\\n";
                break;
            case '\r':
                *out += "\\r";
                break;
            case '\t':
                *out += "\\t";
                break;
            default:
                // Bytes from 0x80 up pass unchanged: they may be UTF-8 text.
                if (c < 0x20 || c == 0x7F) {
                    *out += "\\x";
                    *out += kHex[c >> 4];
                    *out += kHex[c & 0x0F];
                } else {
                    *out += static_cast<char>(c);
                }
        }
    }
}

void WriteWhole(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

std::string FormatReceived(int32_t type, const char* payload) {
    std::string line = "received " + TypeName(type) + " (" + std::to_string(type) + ") ";
    if (payload == nullptr) {
        line += "(no payload)";
    } else {
        line += '"';
        AppendEscaped(&line, payload);
        line += '"';
    }
    return line;
}

void Output::Received(int32_t type, const char* payload) {
    if (!showAll_ && (type == VANTORMESSAGETYPE_REPLY || type == VANTORMESSAGETYPE_HEARTBEAT)) return;
    const std::string line = FormatReceived(type, payload) + "\n";
    std::lock_guard<std::mutex> hold(lock_);
    WriteWhole(stdout, line);
}

void Output::Text(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    WriteWhole(stdout, text);
}

void Output::Note(const std::string& line) {
    const std::string text = "vantor-peer: " + line + "\n";
    std::lock_guard<std::mutex> hold(lock_);
    WriteWhole(stderr, text);
}

}  // namespace Peer

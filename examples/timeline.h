/* A shared timeline for the three example programs: each line says when
 * (seconds since VANTOR_DEMO_START_MS, the demo's start in milliseconds since
 * the epoch, or else since the program's own start), which process, and what
 * happened. Lines go to stdout and, when VANTOR_DEMO_TIMELINE names a file, to
 * that file too, so that processes without a console (Windows starts them
 * detached) still show. */
#ifndef VANTOR_EXAMPLE_TIMELINE_H
#define VANTOR_EXAMPLE_TIMELINE_H

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Timeline {

inline long long NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Taken before main runs: a program started by hand counts from its own start.
inline const long long kProgramStartMs = NowMilliseconds();

inline double SecondsSinceDemoStart() {
    const char* start = std::getenv("VANTOR_DEMO_START_MS");
    const long long startMs = start ? std::atoll(start) : kProgramStartMs;
    return static_cast<double>(NowMilliseconds() - startMs) / 1000.0;
}

inline void Say(const char* who, const char* format, ...) {
    char what[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    char line[1200];
    std::snprintf(line, sizeof line, "%7.1fs  %-8s %s\n", SecondsSinceDemoStart(), who, what);
    std::fputs(line, stdout);
    std::fflush(stdout);
    if (const char* path = std::getenv("VANTOR_DEMO_TIMELINE")) {
        if (std::FILE* file = std::fopen(path, "ab")) {
            std::fputs(line, file);
            std::fclose(file);
        }
    }
}

inline std::string TypeName(int32_t type) {
    char name[80];
    Vantor_MessageTypeToString(type, name, sizeof name);
    return name;
}

}  // namespace Timeline

#endif

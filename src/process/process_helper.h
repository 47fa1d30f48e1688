// The process helper's internal operations, for the launcher and game sides.
// They act on the table that VantorProcessHelper_Init made; without one, those
// that need it log that the helper is not initialized and fail.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"

// gamePath := path (cut at 259 characters); the game's recorded id := 0. 1, or 0 without a table.
int32_t SetGamePath(const char* path);
// gamePath := the game path given to Init; the game's recorded id := 0. 1, or 0 without a table.
int32_t RestoreDefaultGamePath();
// A copy of the type's path, taken under the table's lock: a launch may switch
// the game path at any time. Empty (logged) without a table or for an unknown type.
std::string CopyProcessPath(int32_t processType);
// AIR and GAME record processId with the start time of the process that has it
// now (none that matches when it cannot be read) and give 1; other types are
// logged and give 0.
int32_t SetProcessIdForProcessType(int32_t processType, uint32_t processId);
// AIR and GAME read their recorded id (0: none) and give 1; other types log
// the unknown type, give 0 and leave *processId untouched.
int32_t GetProcessIdForProcessType(int32_t processType, uint32_t* processId);

// Starts executablePath with the command line "<path> <arguments>" (the path in
// double quotes when it holds a space; no space nor arguments when they are
// empty) in workingDirectory (null: the caller's). A command line over 32767
// characters is refused with an error line. On success *child receives the
// new process's id and start time; on failure *error (when error is not null)
// receives the system's code for why.
bool LaunchProcess(const char* executablePath, const char* arguments, const char* workingDirectory,
                   Tamber::ProcessIdentity* child, uint32_t* error = nullptr);
// The start procedure without the export's framing: refuses a running process,
// starts the type's executable in its own directory, records the id, and pauses
// 5 s. 1 when a process was created; when the creation failed, *error receives
// the system's code for why (a refused start leaves it untouched). A raised
// interrupt of the calling thread (platform/interrupt.h) ends the pause, and the
// start then logs nothing more; raised before the creation, it creates nothing.
int32_t RunProcessStart(int32_t processType, const char* arguments, uint32_t* error);
// Waits up to 20 s for each other process whose executable file name equals
// path's (case-sensitive), until one ends: 1 then, else 0. Needs no table. A
// raised interrupt of the calling thread ends the search with 0.
int32_t WaitForProcessExitByName(const char* path);
// Records as the Air client, with its start time, the last listed other
// running process whose executable is named "KavCLient.exe" in any letter
// case, logging each one found. Always 1.
int32_t AdoptAirClientProcess();
// 1 when path names an existing file or directory; a bare file name is looked
// for in the host executable's directory. Else 0 and an error line.
int32_t VerifyFileExists(const char* path);

/*
 * TamberLauncher: messaging and process supervision between a game's
 * launcher, its Air client and the game itself.
 *
 * Every export returns a 32-bit integer, 1 for success and 0 for failure,
 * unless its comment says otherwise. Values come back through out pointers.
 * Texts are 8-bit and NUL-terminated. Callback registration takes the
 * context pointer first and the function second; every callback receives
 * its context pointer as its first argument.
 *
 * Valid C and C++. Calling convention: cdecl, plain undecorated names.
 */
#ifndef TAMBER_LAUNCHER_H
#define TAMBER_LAUNCHER_H

#include <stdint.h>

/* The library's version, the same as the DLL's version resource. */
#define VANTOR_VERSION_MAJOR 1
#define VANTOR_VERSION_MINOR 0
#define VANTOR_VERSION_PATCH 0

/* Laid out by hand: nested conditionals indented after the hash. */
/* clang-format off */
#if defined(_WIN32)
#  define VANTOR_CALL __cdecl
#  if defined(TAMBER_BUILDING_LIBRARY)
#    define VANTOR_API __declspec(dllexport)
#  else
#    define VANTOR_API
#  endif
/* Same type as Winsock's SOCKET (UINT_PTR), without pulling in winsock2.h. */
typedef uintptr_t VantorSocket;
#else
#  define VANTOR_CALL
#  if defined(TAMBER_BUILDING_LIBRARY)
#    define VANTOR_API __attribute__((visibility("default")))
#  else
#    define VANTOR_API
#  endif
typedef int VantorSocket;
#endif
/* clang-format on */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Vocabulary -------------------------------------------------------- */

/* Message types travel in the header's type field: the values are fixed. */
typedef enum VantorMessageType {
    VANTORMESSAGETYPE_GAMECLIENT_CREATE = 0,
    VANTORMESSAGETYPE_GAMECLIENT_STOPPED = 1,
    VANTORMESSAGETYPE_GAMECLIENT_CRASHED = 2,
    VANTORMESSAGETYPE_CLOSE = 3,
    VANTORMESSAGETYPE_HEARTBEAT = 4,
    VANTORMESSAGETYPE_REPLY = 5,
    VANTORMESSAGETYPE_LAUNCHERCLIENT = 6,
    VANTORMESSAGETYPE_GAMECLIENT_ABANDONED = 7,
    VANTORMESSAGETYPE_GAMECLIENT_LAUNCHED = 8,
    VANTORMESSAGETYPE_GAMECLIENT_VERSION_MISMATCH = 9,
    VANTORMESSAGETYPE_GAMECLIENT_CONNECTED_TO_SERVER = 10,
    VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME = 11,
    VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME = 12,
    VANTORMESSAGETYPE_GAMECLIENT_CREATE_VERSION = 13,
    VANTORMESSAGETYPE_GAMECLIENT_INSTALL_VERSION = 14,
    VANTORMESSAGETYPE_GAMECLIENT_CANCEL_INSTALL = 15,
    VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PROGRESS = 16,
    VANTORMESSAGETYPE_GAMECLIENT_INSTALL_PREVIEW = 17,
    VANTORMESSAGETYPE_GAMECLIENT_CANCEL_PREVIEW = 18,
    VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_PROGRESS = 19,
    VANTORMESSAGETYPE_PLAY_REPLAY = 20,
    VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_VERSION = 21,
    VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL = 22,
    VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PROGRESS = 23,
    VANTORMESSAGETYPE_GAMECLIENT_UNINSTALL_PREVIEW = 24,
    VANTORMESSAGETYPE_GAMECLIENT_CANCEL_UNINSTALL_PREVIEW = 25,
    VANTORMESSAGETYPE_GAMECLIENT_PREVIEW_UNINSTALL_PROGRESS = 26,
    VANTORMESSAGETYPE_GAMECLIENT_ENUMERATE_VERSIONS = 27,
    VANTORMESSAGETYPE_GAMECLIENT_CREATE_CLIENT_AND_PRELOAD = 28,
    VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PRELOADED_GAME_WITH_CREDENTIALS = 29,
    VANTORMESSAGETYPE_GAMECLIENT_INITIAL_PRELOAD_COMPLETE = 30,
    VANTORMESSAGETYPE_GAMECLIENT_UPDATE_PLAYER_CONNECTION = 31,
    VANTORMESSAGETYPE_GAMECLIENT_PLAY_PRELOADED_GAME = 32,
    VANTORMESSAGETYPE_GAMECLIENT_GAME_LOADING_COMPLETE = 33,
    VANTORMESSAGETYPE_KILL_GAMECLIENT_PROCESS = 34,
    VANTORMESSAGETYPE_INVALID = 35
} VantorMessageType;

typedef enum VantorProcessType {
    VANTORPROCESSTYPE_AIR = 0,
    VANTORPROCESSTYPE_GAME = 1,
    VANTORPROCESSTYPE_LAUNCHER = 2
} VantorProcessType;

typedef enum VantorErrorType {
    VANTORERRORTYPE_GAMEPROCESSSTART = 0,
    VANTORERRORTYPE_AIRPROCESSSTART = 1,
    VANTORERRORTYPE_GAMECOMMSTART = 2,
    VANTORERRORTYPE_AIRCOMMSTART = 3,
    VANTORERRORTYPE_GAMEHEARTBEAT = 4,
    VANTORERRORTYPE_AIRHEARTBEAT = 5,
    VANTORERRORTYPE_COMMUNICATIONSTART = 6,
    VANTORERRORTYPE_GENERIC = 7,
    VANTORERRORTYPE_INVALID = 8
} VantorErrorType;

/* ---- Handles and callbacks --------------------------------------------- */

typedef struct VantorMessageAgent VantorMessageAgent;
typedef struct VantorServer VantorServer;

/* Laid out by hand: the calling convention inside each pointer declarator. */
/* clang-format off */
/* Called once per delivered message on the connection's socket thread.
 * payload is NUL-terminated, or null when the message carried none; it
 * belongs to the agent and is valid only until the callback returns.
 * The result is ignored. */
typedef int32_t (VANTOR_CALL *MessageArrivedCallback)(void* context, int32_t messageType, const char* payload);

typedef void (VANTOR_CALL *ExitCallback)(void* userData);

/* message is the logged text, trailing "\n" included; valid during the call. */
typedef void (VANTOR_CALL *ErrorMessageCallback)(void* userData, int32_t errorType, const char* message);

/* Fills buffer (bufferSize bytes, always 260) with the patcher library's
 * full path; returns 0 on success. */
typedef int32_t (VANTOR_CALL *PatcherPathCallback)(char* buffer, int32_t bufferSize);

/* text is the received chat payload, or null; valid during the call. */
typedef void (VANTOR_CALL *ReceiveChatMessageCallback)(void* userData, const char* text);
/* clang-format on */

/* ---- Library lifecycle and names --------------------------------------- */

/* Starts a fresh log "vantor-<hostName>.log" in the working directory. Always 1. */
VANTOR_API int32_t VANTOR_CALL Vantor_Init(const char* hostName);
/* Writes the closing line and closes the log. Always 1. First waits for the
 * library's threads whose owners no longer wait for them (a thread that ran a
 * controller's Remove from a callback is still in the library when that Remove
 * returns): a host unloads the library only after this. */
VANTOR_API int32_t VANTOR_CALL Vantor_Remove(void);
/* Milliseconds since system start divided by 1000 (wraps after about 49.7 days). Always 1. */
VANTOR_API int32_t VANTOR_CALL Vantor_GetElapsedSeconds(uint32_t* seconds);

/* Copy the constant's name into buffer (bufferSize bytes, NUL included),
 * truncating. MessageType: unknown values give "VANTORMESSAGETYPE_INVALID"
 * and 1. ProcessType and Error: unknown values give "" and 0. */
VANTOR_API int32_t VANTOR_CALL Vantor_MessageTypeToString(int32_t messageType, char* buffer, uint32_t bufferSize);
VANTOR_API int32_t VANTOR_CALL Vantor_ProcessTypeToString(int32_t processType, char* buffer, uint32_t bufferSize);
VANTOR_API int32_t VANTOR_CALL Vantor_ErrorToString(int32_t errorType, char* buffer, uint32_t bufferSize);

/* ---- Message agent: runs one connected TCP socket ----------------------
 * Order: Create, SetMessageArrivedCallback, Start, sends, then (after the
 * owner has closed the socket, or not) Delete. The agent never closes its
 * socket. None of these tests its agent pointer. */

/* Stores a new record (not running, heartbeat active 1) through out. */
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Create(VantorMessageAgent** out);
/* Stops both threads, frees the record, nulls *agent. Always 1 (also for a
 * null agent). May be called from the agent's own callback: it then returns
 * at once and the socket thread ends when the callback returns. */
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Delete(VantorMessageAgent** agent);
/* 0 when already started or socket is 0 or INVALID_SOCKET (-1 on POSIX). */
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_Start(VantorMessageAgent* agent, VantorSocket socket);
/* payload may be null. 1 when written; 0 also when the peer has taken no
 * byte for 10 s (the connection is then shut down) or Delete began. */
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SendMessage(VantorMessageAgent* agent, int32_t messageType,
                                                              const char* payload);
/* Heartbeats are sent only while the value is exactly 1. */
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SetHeartbeatActive(VantorMessageAgent* agent, int32_t active);
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_GetHeartbeatActive(VantorMessageAgent* agent, int32_t* active);
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_GetIsRunning(VantorMessageAgent* agent, int32_t* running);
VANTOR_API int32_t VANTOR_CALL VantorMessageAgent_SetMessageArrivedCallback(VantorMessageAgent* agent, void* context,
                                                                            MessageArrivedCallback callback);

/* ---- Server: listens on 127.0.0.1, one agent per accepted connection ---
 * Each server starts the socket library at Create and releases it at Delete
 * (WSAStartup and WSACleanup on Windows, counted by the system). */

VANTOR_API int32_t VANTOR_CALL VantorServer_Create(VantorServer** out);
/* Binds 127.0.0.1:port (low 16 bits), listens, starts the accept thread. */
VANTOR_API int32_t VANTOR_CALL VantorServer_Start(VantorServer* server, int32_t port);
/* Sends to every running client, newest first. A null server means the
 * launcher-side Air server (0 when there is none). */
VANTOR_API int32_t VANTOR_CALL VantorServer_SendMessageToAllClients(VantorServer* server, int32_t messageType,
                                                                    const char* payload);
/* Applies to clients accepted from now on. */
VANTOR_API int32_t VANTOR_CALL VantorServer_SetMessageArrivedCallback(VantorServer* server, void* context,
                                                                      MessageArrivedCallback callback);
/* Closes everything, nulls *server; 0 when *server is null. */
VANTOR_API int32_t VANTOR_CALL VantorServer_Delete(VantorServer** server);

/* ---- Process helper: the three programs' paths and processes ---------- */

VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_Init(const char* launcherPath, const char* airPath,
                                                        const char* gamePath);
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_Remove(void);
/* *path points into the helper's table (valid until the slot changes). */
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_GetProcessPathForProcessType(int32_t processType, const char** path);
/* Blocks about 10 s around a creation attempt (5 s when refused). */
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_StartProcess(int32_t processType, const char* arguments);
/* Waits up to timeoutMs for the process to end, then terminates it. */
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_StopProcess(int32_t processType, uint32_t timeoutMs);
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_KillProcess(int32_t processType);
/* Ends every other process whose executable file name equals path's
 * (case-sensitive); never the caller. Always 1. */
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_KillProcessByName(const char* path);
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_IsProcessRunning(int32_t processType, int32_t* running);
VANTOR_API int32_t VANTOR_CALL VantorProcessHelper_AllFilesExist(void);

/* ---- Server controller: the launcher's side ---------------------------
 * Callbacks (exit, error, patcher path) run on the host's thread or on the
 * library's socket threads, one at a time across threads; an export called
 * from inside a callback that calls back runs that callback nested. The exit
 * callback may come more than once, but never while another one runs.
 * Remove waits for callbacks running on other threads, so a callback must not
 * wait for a thread that may be in Remove, nor for a lock the host holds
 * across Remove. Remove and Init run one at a time: called from outside any
 * callback they wait for one under way (one made from a callback lasts until
 * that callback returns); called from inside a callback while one is under way
 * they return 0 at once, as without a controller. From the
 * moment Remove begins no callback starts, every wait of the controller's
 * threads ends and stops, kills, starts and sends nothing more (running
 * processes are not stopped); once it returns, the library never calls the
 * host for that controller again. */

VANTOR_API int32_t VANTOR_CALL VantorServerController_Init(const char* launcherPath, int32_t launcherPort,
                                                           const char* airPath, int32_t airPort, const char* gamePath,
                                                           int32_t gamePort, void* exitUserData,
                                                           ExitCallback exitCallback,
                                                           ErrorMessageCallback errorCallback,
                                                           PatcherPathCallback patcherPathCallback);
VANTOR_API int32_t VANTOR_CALL VantorServerController_Remove(void);
VANTOR_API int32_t VANTOR_CALL VantorServerController_Start(void);
/* extraArguments may be null; over 2000 characters is refused. */
VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgs(const char* extraArguments);
VANTOR_API int32_t VANTOR_CALL VantorServerController_StartArgsExplicit(const char* airCommandLine);
VANTOR_API int32_t VANTOR_CALL VantorServerController_Stop(void);
/* Allowed at any time, also before Init. Always 1. */
VANTOR_API int32_t VANTOR_CALL VantorServerController_RegisterHwnd(int32_t windowHandle);
/* Returns the Air server, or null when there is no controller. The handle is
 * valid until Remove begins; the host must not use it after that. */
VANTOR_API VantorServer* VANTOR_CALL VantorServerController_GetAirServerHandle(void);
VANTOR_API int32_t VANTOR_CALL VantorServerController_SetErrorMessageCallback(void* userData,
                                                                              ErrorMessageCallback callback);
VANTOR_API int32_t VANTOR_CALL VantorServerController_SetExitCallback(void* userData, ExitCallback callback);
VANTOR_API int32_t VANTOR_CALL VantorServerController_VerifyAllNeededFilesExist(void);
/* Call periodically from the host's loop: supervises Air and the game. */
VANTOR_API int32_t VANTOR_CALL VantorServerController_ProcessEvents(void);

/* ---- Game controller: the game's side --------------------------------- */

VANTOR_API int32_t VANTOR_CALL VantorGameController_Init(const char* firstProcessPath, const char* secondProcessPath);
/* Waits for a callback running on the socket thread (not when called from it);
 * no callback starts once it has begun. Init and Remove run one at a time as
 * the server controller's do. */
VANTOR_API int32_t VANTOR_CALL VantorGameController_Remove(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_Start(int32_t port);
/* Always 1. */
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendChatMessage(const char* text);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameConnectedToServerMessage(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameLaunchedMessage(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameVersionMismatchMessage(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendGameAbandonedMessage(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SendShutdownMessage(void);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SetExitCallback(void* userData, ExitCallback callback);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SetReceiveChatMessageCallback(void* userData,
                                                                                  ReceiveChatMessageCallback callback);
VANTOR_API int32_t VANTOR_CALL VantorGameController_SetHeartbeatActive(int32_t active);
VANTOR_API int32_t VANTOR_CALL VantorGameController_GetHeartbeatActive(int32_t* active);
/* Ends, by executable name, both Init paths and the patching tools. Always 1. */
VANTOR_API int32_t VANTOR_CALL VantorGameController_KillProcesses(void);
/* *hung := 1 when no launcher heartbeat came for 150 s or more. */
VANTOR_API int32_t VANTOR_CALL VantorGameController_AreProcessesHung(int32_t* hung);

#ifdef __cplusplus
}
#endif

#endif /* TAMBER_LAUNCHER_H */

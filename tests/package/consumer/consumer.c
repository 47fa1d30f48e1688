/* A program built against the unpacked Windows package: a server and an agent
 * made through the DLL exchange one message and its answer. Exits 0 when both
 * arrived within 10 s. */
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <TamberLauncher.h>

static volatile LONG serverGotPing;
static volatile LONG agentGotPong;

static int32_t VANTOR_CALL OnServerMessage(void* context, int32_t type, const char* payload) {
    (void)context;
    if (type == VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME && strcmp(payload, "ping") == 0)
        InterlockedExchange(&serverGotPing, 1);
    return 1;
}

static int32_t VANTOR_CALL OnAgentMessage(void* context, int32_t type, const char* payload) {
    (void)context;
    if (type == VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME && strcmp(payload, "pong") == 0)
        InterlockedExchange(&agentGotPong, 1);
    return 1;
}

static int WaitFor(volatile LONG* flag) {
    for (int i = 0; i < 1000 && !*flag; ++i) Sleep(10);
    return *flag != 0;
}

int main(void) {
    WSADATA wsa;
    VantorServer* server = NULL;
    VantorMessageAgent* agent = NULL;
    struct sockaddr_in address;
    int port = 0;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0 || !Vantor_Init("consumer")) return 1;
    /* A free port among a few, starting from one of this process's own. */
    for (int attempt = 0; attempt < 50 && port == 0; ++attempt) {
        const int candidate = 20000 + (int)((GetCurrentProcessId() * 7 + attempt * 131) % 12000);
        if (!VantorServer_Create(&server) || !VantorServer_SetMessageArrivedCallback(server, NULL, OnServerMessage))
            return 2;
        if (VantorServer_Start(server, candidate))
            port = candidate;
        else
            VantorServer_Delete(&server);
    }
    SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons((u_short)port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (port == 0 || connect(connection, (struct sockaddr*)&address, sizeof address) != 0) return 3;
    if (!VantorMessageAgent_Create(&agent) ||
        !VantorMessageAgent_SetMessageArrivedCallback(agent, NULL, OnAgentMessage) ||
        !VantorMessageAgent_Start(agent, connection))
        return 4;
    if (!VantorMessageAgent_SendMessage(agent, VANTORMESSAGETYPE_CHATMESSAGE_TO_GAME, "ping") ||
        !WaitFor(&serverGotPing))
        return 5;
    if (!VantorServer_SendMessageToAllClients(server, VANTORMESSAGETYPE_CHATMESSAGE_FROM_GAME, "pong") ||
        !WaitFor(&agentGotPong))
        return 6;
    VantorMessageAgent_Delete(&agent);
    closesocket(connection);
    VantorServer_Delete(&server);
    Vantor_Remove();
    WSACleanup();
    printf("ping and pong through TamberLauncher %d.%d.%d\n", VANTOR_VERSION_MAJOR, VANTOR_VERSION_MINOR,
           VANTOR_VERSION_PATCH);
    return 0;
}

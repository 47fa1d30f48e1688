#include "messaging/wire.h"

#include "frame/log.h"

MessageHeader MakeMessageHeader(int32_t type, int32_t payloadLength) {
    return MessageHeader{kMessageHeaderSize, kMessageVersion, type, payloadLength};
}

int32_t CheckMessageHeader(const MessageHeader& header) {
    int32_t type = header.type;
    if (header.headerSize != kMessageHeaderSize) {
        VantorLog_Message(kLogWarning, "Invalid message header size on incoming message.\n");
        type = VANTORMESSAGETYPE_INVALID;
    }
    if (header.version != kMessageVersion) {
        VantorLog_Message(kLogWarning, "Invalid version on incoming message.\n");
        type = VANTORMESSAGETYPE_INVALID;
    }
    if (type >= VANTORMESSAGETYPE_INVALID) {
        VantorLog_Message(kLogWarning, "Invalid message type.\n");
        type = VANTORMESSAGETYPE_INVALID;
    }
    return type;
}

bool IsAnswered(int32_t type) { return type != VANTORMESSAGETYPE_REPLY && type < VANTORMESSAGETYPE_INVALID; }

void LogMessageType(const char* format, int32_t type) {
    if (type == VANTORMESSAGETYPE_HEARTBEAT || type == VANTORMESSAGETYPE_REPLY) return;
    char name[128];
    Vantor_MessageTypeToString(type, name, sizeof name);
    VantorLog_Formatted(kLogInfo, 256, format, name);
}

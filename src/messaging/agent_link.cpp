#include <new>

#include "messaging/agent_record.h"
#include "platform/syserror.h"

std::shared_ptr<AgentLink> AgentLink::Open(Tamber::Socket ownerSocket, uint32_t* error) {
    std::shared_ptr<AgentLink> link(new (std::nothrow) AgentLink());
    if (!link) {
        *error = Tamber::LastSystemError();
        return nullptr;
    }
    link->stop = Tamber::Waker::Create(error);
    if (!link->stop) return nullptr;
    // A socket that cannot be duplicated is not a usable connection: reading it
    // fails at once with this error, as reading the owner's socket would.
    link->connection = Tamber::DuplicateSocket(ownerSocket, &link->duplicateError);
    return link;
}

AgentLink::~AgentLink() {
    if (connection != Tamber::kNoSocket) Tamber::CloseSocket(connection);
}

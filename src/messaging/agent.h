// What the rest of the library asks of a message agent beyond its exports.
#pragma once

#include <memory>

#include "TamberLauncher.h"

// True once the agent's connection is over: its socket thread has ended on a
// failed read, or it never started. Such an agent will deliver nothing more.
bool VantorMessageAgent_HasEnded(VantorMessageAgent* agent);
// A reference that keeps the record alive past its Delete (sends through it
// then fail). Only while the owner still holds the agent.
std::shared_ptr<VantorMessageAgent> VantorMessageAgent_Share(VantorMessageAgent* agent);

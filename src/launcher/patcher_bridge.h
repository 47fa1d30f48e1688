// The bridge to the separately shipped patcher library, loaded once on first
// use from the working directory or from the host's PatcherPathCallback.
#pragma once

#include <cstdint>

#include "launcher/controller.h"

// Runs the loading attempt once; true when all fourteen functions were found.
// Concurrent first uses wait for the one load; Remove ends that wait (false).
bool PatcherAvailable(VantorServerControllerStruct& controller);
// GameVersionToPath into a 260-byte path; false when unavailable or it failed.
bool PatcherGameVersionToPath(VantorServerControllerStruct& controller, const char* version, char* path);
// Handles one game-version message from the Air client (installs, previews,
// uninstalls, cancels, progress polls and the version list). False when
// messageType is not one of them.
bool HandlePatcherMessage(VantorServerControllerStruct& controller, int32_t messageType, const char* payload);

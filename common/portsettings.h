// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// The two values the settings dialog edits and the download reads; the main
// window holds the one instance.
struct PortSettings
{
    std::uint8_t nPort = 3;  // port number last taken over from the dialog
    std::uint8_t nByte = 14; // bytes at the end of a configuration file left unsent
};

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Where port number n lives on Linux: the device <port dir>/com<n> links
// to when that link is there, /dev/ttyS<n-1> otherwise.
namespace portlocator {

QString portDirectory();
QString devicePathForPort(int commPort);

} // namespace portlocator

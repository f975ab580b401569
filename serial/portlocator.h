// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Where port number n lives on Linux: the device <port dir>/com<n> links
// to when that link is there (or the network address it holds),
// /dev/ttyS<n-1> otherwise.
namespace portlocator {

QString portDirectory();
QString devicePathForPort(int commPort);
// A symbolic link's own text, as written; empty for anything else.
QString linkText(const QString &path);

} // namespace portlocator

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// Whether a file named on the command line can be read as a configuration
// file: a regular file, readable, under 2 GiB.
namespace inputfile {

// The message that refuses it, naming it, or nothing when it will do.
// Never opens what is not a regular file, so a FIFO cannot block.
std::optional<QString> refusal(const QString &path);

} // namespace inputfile

// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// This process's resident size in KiB, from /proc/self/statm: cheap enough
// to read every second.
qint64 residentKiB();

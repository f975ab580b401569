// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// tolvane-cli's subcommands; each takes its arguments from its own name on
// and returns the exit status.
int runDownload(const QStringList &arguments);
int runMonitor(const QStringList &arguments);
int runSend(const QStringList &arguments);
int runPorts(const QStringList &arguments);
int runBitinfo(const QStringList &arguments);

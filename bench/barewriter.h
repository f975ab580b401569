// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class PtyPair;

// A terminal device opened raw for writing, as a program without Qt would.
int openRawDevice(const QString &path, int flags);
int openRawSlave(const PtyPair &pty, int flags);
// Blocking writes of chunkSize bytes until payload bytes are out.
void writeBare(int fd, qint64 payload, qsizetype chunkSize);
// Seconds a raw blocking writer takes to get payload bytes to a far side
// that reads at rate (0: as fast as it can): the ceiling of a download.
double bareWriterSeconds(const QString &portDir, qint64 payload, qint64 rate, qsizetype chunkSize = 4096);
// The same with a writer that keeps its thread free as a Qt program must:
// non-blocking writes whenever the event loop reports room, nothing else.
double eventLoopWriterSeconds(const QString &portDir, qint64 payload);

// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

class PtyPair;
class SerialChannel;

// Between takes a resting channel keeps its port's read notifier off, and
// the port turns it on by itself whenever it is read from. Plays a board
// that trickles lines, floods, and after a quiet spell sends one lone byte;
// the running test fails unless the open channel (binary input, resting
// reads) gives every byte, whole and in order.
void checkRestingReads(PtyPair &pty, SerialChannel &channel, const QByteArray &flood);

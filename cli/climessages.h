// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// What tolvane-cli tells its user: one line each, in English as command-line
// tools are, without the program's name (the caller puts it in front).
namespace climessages {

QString cannotOpenPort(const QString &device, const QString &reason);
QString adaptersFound();
QString noAdapters();
QString seePorts();
QString fileProblem(const QString &path, const QString &reason);
QString fileTooLarge(const QString &path);
QString deviceGone(const QString &device);
QString reopenFailed(const QString &device, const QString &reason);
QString pressInit();
QString nothingToSend(const QString &path, qint64 length, int drop);
QString refusedFile(const QString &path, const QString &kind);
QString interruptedBeforeSending();
QString interruptedWaiting(const QString &text);
QString interrupted(qint64 sent, qint64 total);
QString noAnswer(const QString &text, double seconds);
QString partDiffers(const QString &found, const QString &wanted);
QString noHeaderForPart(const QString &wanted);
QString lineEvent(int commEvent);
QString noHeader();

} // namespace climessages

// SPDX-License-Identifier: MIT
#include "cli/climessages.h"

namespace climessages {

QString cannotOpenPort(const QString &device, const QString &reason)
{
    QString why = reason;
    if (reason.contains(QLatin1String("No such file"), Qt::CaseInsensitive))
        why = QStringLiteral("no such device");
    else if (reason.contains(QLatin1String("busy"), Qt::CaseInsensitive))
        why = QStringLiteral("busy: another program is using it");
    else if (reason.contains(QLatin1String("Permission denied"), Qt::CaseInsensitive))
        why = QStringLiteral("permission denied: add yourself to the dialout group "
                             "(sudo usermod -aG dialout $USER, then log in again)");
    return QStringLiteral("cannot open port %1: %2").arg(device, why);
}

QString adaptersFound()
{
    return QStringLiteral("serial adapters found:");
}

QString noAdapters()
{
    return QStringLiteral("no serial adapters found");
}

QString seePorts()
{
    return QStringLiteral("\"tolvane-cli ports\" lists the devices and the port numbers that reach them; "
                          "--port takes either");
}

QString fileProblem(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(path, reason);
}

QString fileTooLarge(const QString &path)
{
    return QStringLiteral("%1: files of 2 GiB or more cannot be sent").arg(path);
}

QString deviceGone(const QString &device)
{
    return QStringLiteral("%1: the device went away").arg(device);
}

QString reopenFailed(const QString &device, const QString &reason)
{
    return QStringLiteral("%1: could not reopen the port after the transfer: %2").arg(device, reason);
}

QString pressInit()
{
    return QStringLiteral("Press the board's INIT button, then Enter.");
}

QString nothingToSend(const QString &path, qint64 length, int drop)
{
    return QStringLiteral("%1: nothing to send: the file has %2 bytes, no more than the %3 that --drop leaves off")
        .arg(path)
        .arg(length)
        .arg(drop);
}

QString refusedFile(const QString &path, const QString &kind)
{
    return QStringLiteral("%1: %2, not a regular file; nothing read").arg(path, kind);
}

QString interruptedWaiting(const QString &text)
{
    return QStringLiteral("interrupted while waiting for \"%1\"; the file was sent").arg(text);
}

QString interruptedBeforeSending()
{
    return QStringLiteral("interrupted before sending; nothing sent");
}

QString interrupted(qint64 sent, qint64 total)
{
    return QStringLiteral("interrupted after %1 of %2 bytes; the rest was discarded and the port reset")
        .arg(sent)
        .arg(total);
}

QString noAnswer(const QString &text, double seconds)
{
    return QStringLiteral("\"%1\" did not come within %2 s").arg(text).arg(seconds);
}

QString partDiffers(const QString &found, const QString &wanted)
{
    return QStringLiteral("the file is for part %1, not %2; nothing sent").arg(found, wanted);
}

QString noHeaderForPart(const QString &wanted)
{
    return QStringLiteral("the file has no bitstream header to compare with part %1; nothing sent").arg(wanted);
}

QString lineEvent(int commEvent)
{
    switch (commEvent) {
    case 1001: return QStringLiteral("line: break received");
    case 1004: return QStringLiteral("line: framing error");
    case 1006: return QStringLiteral("line: port overrun");
    case 1008: return QStringLiteral("line: receive buffer overflow");
    case 1009: return QStringLiteral("line: parity error");
    default: return QStringLiteral("line: error %1").arg(commEvent);
    }
}

QString noHeader()
{
    return QStringLiteral("no bitstream header (the file is sent whole, as raw bytes)");
}

} // namespace climessages

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Everything the program tells the operator, in one place: a modal box with
// a prompt, a title, an optional exclamation icon, OK and, for some, a second
// button that leads on to what the operator can do about it.
struct Message
{
    enum class Icon { None, Exclamation };

    QString prompt;
    QString title;
    Icon icon = Icon::None;
    QString action = {}; // the second button's caption; none when empty
};

// Shows the box and returns when the operator has closed it; true when the
// action button closed it. Events, serial ones included, keep being
// delivered meanwhile.
bool showMessage(QWidget *parent, const Message &message);

namespace messages {

Message portNotOpen();
Message cannotOpenPort(const QString &device, const QString &reason);
// The same, naming the devices found elsewhere (at most four lines) and
// with a button to the port assignment dialog when offered.
Message cannotOpenPort(const QString &device, const QString &reason, const QStringList &deviceLines,
                       bool offerAssignment);
Message cannotAssignPort(int port, const QString &target, const QString &reason);
Message cannotReleasePort(int port, const QString &reason);
Message portDisconnected();
Message lineEvent(int commEvent);
Message pressInit();
Message downloadFailed(const QString &reason);
Message portOutOfRange();
Message countOutOfRange();
Message cannotRecord(const QString &path, const QString &reason);
Message recordingStopped(const QString &path, const QString &reason);
Message cannotSave(const QString &path, const QString &reason);
// OK leaves it; the action button saves the selection to a file.
Message selectionTooLargeToCopy();
Message cannotSpillReceivedData(const QString &reason);
// What was dropped on the window and why it is not downloaded.
Message cannotDrop(const QString &name, const QString &reason);

// The macro dialog keeps itself open and says why.
Message macroRefused(const QString &reason);

Message cannotReadBackReceivedData(const QString &reason);
// Why a save of received data that could not all be read back failed.
QString receivedDataUnreadable(const QString &reason);

} // namespace messages

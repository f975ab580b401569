#pragma once

#include <QString>

class QWidget;

// Everything the program tells the operator, in one place: a modal box with
// a prompt, a title, an optional exclamation icon and one OK button.
struct Message
{
    enum class Icon { None, Exclamation };

    QString prompt;
    QString title;
    Icon icon = Icon::None;
};

// Shows the box and returns when the operator has closed it. Events,
// serial ones included, keep being delivered meanwhile.
void showMessage(QWidget *parent, const Message &message);

namespace messages {

Message portNotOpen();
Message cannotOpenPort(const QString &device, const QString &reason);
Message portDisconnected();
Message lineEvent(int commEvent);
Message pressInit();
Message downloadFailed(const QString &reason);
Message portOutOfRange();
Message countOutOfRange();
Message cannotSpillReceivedData(const QString &reason);

} // namespace messages

// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// Answers the modal boxes and dialogs a test provokes, as an operator
// would: message boxes are read and closed with OK, and any other modal
// widget is handed to a handler the test sets.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        int buttons;
    };

    explicit ModalAnswerer(QObject *parent = nullptr);

    QList<Seen> messages;
    // Called with each modal widget that is not a message box; returns true
    // when it has dealt with it.
    std::function<bool(QWidget *)> otherModal;
    // Called with each message box before OK is clicked.
    std::function<void(QMessageBox *)> onMessage;
    // While this says so, message boxes are read but left open, so that
    // they can stack up.
    std::function<bool()> holdWhile;

    QStringList texts() const;

private:
    void poll();

    QTimer m_timer;
};

// Answers the next file dialog with this path; an empty path cancels it.
std::function<bool(QWidget *)> chooseFile(const QString &path);

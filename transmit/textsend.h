// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;
class QWidget;
class SerialChannel;

// Sends the typed line, with CR LF when the check box asks for it.
class TextSend : public QObject
{
    Q_OBJECT

public:
    TextSend(SerialChannel &MSCom, QLineEdit *txtAscSnd, QCheckBox *chkCrLf, QWidget *window,
             QObject *parent = nullptr);

    void send();

private:
    SerialChannel &MSCom;
    QLineEdit *txtAscSnd;
    QCheckBox *chkCrLf;
    QWidget *m_window;
};

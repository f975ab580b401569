// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class LineEndChoice;
class QCheckBox;
class QLineEdit;
class QWidget;
class SerialChannel;

// Sends the typed line, with the chosen line end when the check box asks for it.
class TextSend : public QObject
{
    Q_OBJECT

public:
    TextSend(SerialChannel &MSCom, QLineEdit *txtAscSnd, QCheckBox *chkCrLf, const LineEndChoice &lineEnd,
             QWidget *window, QObject *parent = nullptr);

    void send();

signals:
    // A line the port took, without the line end.
    void sent(const QString &line);

private:
    SerialChannel &MSCom;
    QLineEdit *txtAscSnd;
    QCheckBox *chkCrLf;
    const LineEndChoice &m_lineEnd;
    QWidget *m_window;
};

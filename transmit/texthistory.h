// SPDX-License-Identifier: MIT
#pragma once

#include "serial/sendhistory.h"

#include <QObject>

class QLineEdit;

// The text line's history: Up and Down walk through the lines sent, and
// each line sent is kept in the history file at once.
class TextHistory : public QObject
{
    Q_OBJECT

public:
    explicit TextHistory(QLineEdit *txtAscSnd, QObject *parent = nullptr);

    void add(const QString &line);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *txtAscSnd;
    SendHistory m_history;
};

// SPDX-License-Identifier: MIT
#pragma once

#include "serial/sendmacros.h"

#include <QObject>

class MacroKeys;
class QLineEdit;
class QMenu;
class QWidget;
class SerialChannel;

// The send macros in the window: sent by their keys or from the "送信
// マクロ" submenu of the text line's context menu, edited in their dialog.
class MacroSend : public QObject
{
    Q_OBJECT

public:
    MacroSend(SerialChannel &MSCom, QLineEdit *txtAscSnd, QWidget *window, QObject *parent = nullptr);

    // Sends exactly the slot's bytes; an unused slot does nothing.
    void send(int slot);
    void edit();
    void showTextMenu(const QPoint &position);

private:
    void addSubmenu(QMenu &menu);

    SerialChannel &MSCom;
    QLineEdit *txtAscSnd;
    QWidget *m_window;
    MacroKeys *m_keys;
    SendMacros m_macros;
};

// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <array>

class HexByteBox;
class SerialChannel;
class QWidget;

// Sends the byte row: closes its gaps, then one byte per filled field.
class HexSend : public QObject
{
    Q_OBJECT

public:
    HexSend(SerialChannel &MSCom, const std::array<HexByteBox *, 16> &txtBinSnd, QWidget *window,
            QObject *parent = nullptr);

    void send();

private:
    int compactFields();

    SerialChannel &MSCom;
    std::array<HexByteBox *, 16> txtBinSnd;
    QWidget *m_window;
};

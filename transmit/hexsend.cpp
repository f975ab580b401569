// SPDX-License-Identifier: MIT
#include "transmit/hexsend.h"

#include "common/messagebox.h"
#include "serial/serialchannel.h"
#include "transmit/compactrow.h"
#include "transmit/hexbytebox.h"

#include <QByteArray>

HexSend::HexSend(SerialChannel &channel, const std::array<HexByteBox *, 16> &fields, QWidget *window,
                 QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , txtBinSnd(fields)
    , m_window(window)
{
}

void HexSend::send()
{
    const int lastFilled = compactFields();
    // The row is compacted on screen even when nothing can be sent.
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return;
    }
    // One Output call per field, a one-byte array each; with every field
    // empty field 0 still counts, as the byte 0x00.
    for (int i = 0; i <= lastFilled; ++i)
        MSCom.output(QByteArray(1, char(txtBinSnd[i]->byteValue())));
}

int HexSend::compactFields()
{
    ByteRowTexts row;
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = txtBinSnd[i]->text();
    const int lastFilled = compactRow(row);
    for (std::size_t i = 0; i < row.size(); ++i)
        txtBinSnd[i]->setText(row[i]);
    return lastFilled;
}

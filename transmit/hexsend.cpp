#include "transmit/hexsend.h"

#include "transmit/hexbytebox.h"

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
}

// SPDX-License-Identifier: MIT
#include "cli/boardreader.h"

#include "serial/lineerrors.h"
#include "serial/serialchannel.h"

BoardReader::BoardReader(SerialChannel &channel, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
{
    connect(&MSCom, &SerialChannel::onComm, this, &BoardReader::onComm);
}

void BoardReader::onComm()
{
    if (MSCom.commEvent() != commevent::kReceive) {
        emit lineEvent(MSCom.commEvent());
        return;
    }
    MSCom.setInputMode(SerialChannel::InputMode::Binary);
    const QByteArray bytes = std::get<QByteArray>(MSCom.input());
    if (bytes.isEmpty())
        return;
    const QString text = m_decoder.decode(bytes);
    emit received(bytes, text);
    if (m_watched.isEmpty())
        return;
    m_tail += text;
    if (m_tail.contains(m_watched)) {
        m_watched.clear();
        emit textSeen();
        return;
    }
    m_tail = m_tail.right(m_watched.size() - 1);
}

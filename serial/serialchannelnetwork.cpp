// SPDX-License-Identifier: MIT
// The serial channel's network side, apart so that the local port's code
// stays as it is.
#include "serial/serialchannel.h"

#include "serial/linesettings.h"
#include "serial/networkaddress.h"
#include "serial/networkport.h"

bool SerialChannel::openNetwork(const QString &name, const LineSettings &line)
{
    const std::optional<NetworkAddress> address = NetworkAddress::parse(name);
    if (!address) {
        m_errorString = QStringLiteral("\"%1\" is not a network port (rfc2217://host:port or socket://host:port)")
                            .arg(name);
        return false;
    }
    if (!m_networkPort) {
        m_networkPort = new NetworkPort(this);
        connect(m_networkPort, &NetworkPort::readyRead, this, [this] { postCommEvent(commevent::kReceive); });
        connect(m_networkPort, &NetworkPort::lineError, this, &SerialChannel::postCommEvent);
        connect(m_networkPort, &NetworkPort::gone, this, &SerialChannel::onNetworkGone);
        connect(m_networkPort, &NetworkPort::bytesWritten, this, &SerialChannel::bytesWritten);
        m_networkPort->setReadRest(m_readGate.period());
    }
    if (!m_networkPort->open(*address, line, m_handshaking, m_rtsEnable)) {
        m_errorString = m_networkPort->errorString();
        return false;
    }
    m_onNetwork = true;
    m_errorString.clear();
    m_decoder.reset();
    m_lineCounters.reset();
    emit portOpenChanged(true);
    return true;
}

void SerialChannel::setReadRest(std::chrono::milliseconds rest)
{
    m_readGate.setPeriod(rest);
    if (m_networkPort)
        m_networkPort->setReadRest(rest);
}

void SerialChannel::onNetworkGone()
{
    if (!m_onNetwork)
        return;
    m_errorString = m_networkPort->errorString();
    closeWithoutDrain();
    emit disconnected();
}

bool SerialChannel::resetPort(bool keepInput)
{
    NetworkPort *net = network();
    if (!net)
        return reopen(keepInput);
    net->reset(keepInput);
    if (keepInput) {
        // Nothing may announce what was kept: a reader learns of it here.
        postCommEvent(commevent::kReceive);
        return portOpen();
    }
    m_readAhead.clear();
    m_decoder.reset();
    m_pendingEvents.clear();
    // A connection lost meanwhile has closed the channel and said so.
    return portOpen();
}

// SPDX-License-Identifier: MIT
#include "fakerfc2217server.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum State { Data, Iac, Verb, Sub, SubIac };

} // namespace

FakeRfc2217Server::FakeRfc2217Server(quint32 answeredBaud)
    : m_answeredBaud(answeredBaud)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size);
    ::listen(m_listener, 1);
    ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

FakeRfc2217Server::~FakeRfc2217Server()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

QList<int> FakeRfc2217Server::commands() const
{
    const std::lock_guard lock(m_mutex);
    return m_commands;
}

QByteArray FakeRfc2217Server::data() const
{
    const std::lock_guard lock(m_mutex);
    return m_data;
}

void FakeRfc2217Server::run()
{
    pollfd listener{m_listener, POLLIN, 0};
    while (!m_stop) {
        if (::poll(&listener, 1, 20) == 1) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            serve(client);
            ::close(client);
        }
    }
}

void FakeRfc2217Server::serve(int client)
{
    pollfd readable{client, POLLIN, 0};
    char bytes[4096];
    while (!m_stop) {
        if (const int bits = m_lineState.exchange(-1); bits >= 0)
            answer(client, 6, QByteArray(1, char(bits)));
        if (::poll(&readable, 1, 20) != 1)
            continue;
        const ssize_t got = ::read(client, bytes, sizeof bytes);
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got; ++i)
            take(client, quint8(bytes[i]));
    }
}

void FakeRfc2217Server::take(int client, quint8 byte)
{
    const std::lock_guard lock(m_mutex);
    switch (m_state) {
    case Data:
        m_state = byte == 255 ? Iac : Data;
        if (byte != 255)
            m_data += char(byte);
        return;
    case Iac:
        if (byte == 255)
            m_data += char(byte);
        m_state = byte == 255 ? Data : byte == 250 ? Sub : byte >= 251 ? Verb : Data;
        m_sub.clear();
        return;
    case Verb:
        m_state = Data;
        return;
    case Sub:
        if (byte == 255)
            m_state = SubIac;
        else
            m_sub += char(byte);
        return;
    case SubIac:
        m_state = Data;
        if (m_sub.size() >= 2 && quint8(m_sub.at(0)) == 44) {
            const auto command = quint8(m_sub.at(1));
            m_commands.append(command);
            QByteArray value = m_sub.mid(2);
            if (command == 1 && m_answeredBaud != 0)
                value = QByteArray::fromHex(QByteArray::number(m_answeredBaud, 16).rightJustified(8, '0'));
            answer(client, command, value);
        }
        return;
    }
}

void FakeRfc2217Server::answer(int client, quint8 command, QByteArray value)
{
    const QByteArray message = QByteArray("\xff\xfa\x2c", 3) + char(command + 100) + value + QByteArray("\xff\xf0", 2);
    (void)::write(client, message.constData(), size_t(message.size()));
}

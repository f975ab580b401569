// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>

// A one-client RFC 2217 server on a thread of its own (the program's open
// blocks the test's thread): it answers each setting with the value asked
// for, or with another baud rate, keeps the data and commands it was sent,
// and sends line-state notifications when told, which no pseudo-terminal can.
class FakeRfc2217Server
{
public:
    explicit FakeRfc2217Server(quint32 answeredBaud = 0);
    ~FakeRfc2217Server();
    FakeRfc2217Server(const FakeRfc2217Server &) = delete;
    FakeRfc2217Server &operator=(const FakeRfc2217Server &) = delete;

    quint16 port() const { return m_port; }
    void notifyLineState(quint8 bits) { m_lineState = bits; }
    QList<int> commands() const;
    QByteArray data() const;

private:
    void run();
    void serve(int client);
    void take(int client, quint8 byte);
    void answer(int client, quint8 command, QByteArray value);

    int m_listener = -1;
    quint16 m_port = 0;
    quint32 m_answeredBaud;
    std::atomic<int> m_lineState{-1};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<int> m_commands;
    QByteArray m_data;
    int m_state = 0;
    QByteArray m_sub;
    std::thread m_thread;
};

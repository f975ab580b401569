// SPDX-License-Identifier: MIT
#include "restingreads.h"

#include "ptypair.h"
#include "serial/serialchannel.h"

#include <QtTest>

void checkRestingReads(PtyPair &pty, SerialChannel &channel, const QByteArray &flood)
{
    QByteArray received;
    const QMetaObject::Connection taking = QObject::connect(
        &channel, &SerialChannel::onComm, &channel, [&] { received += std::get<QByteArray>(channel.input()); });
    const auto cleanup = qScopeGuard([&] { QObject::disconnect(taking); });
    QByteArray sent;
    for (int i = 0; i < 30; ++i) {
        const QByteArray piece = QByteArray::number(i).repeated(7) + '\n';
        QVERIFY(pty.write(piece));
        sent += piece;
        QTest::qWait(3);
    }
    QVERIFY(pty.write(flood));
    sent += flood;
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), sent.size(), 20000);
    QTest::qWait(50);
    QVERIFY(pty.write("z"));
    sent += 'z';
    QTRY_COMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
}

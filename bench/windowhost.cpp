// SPDX-License-Identifier: MIT
#include "windowhost.h"

#include "app/frmmain.h"
#include "capture/receiverecorder.h"
#include "serial/serialchannel.h"

#include <QApplication>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTabBar>
#include <QTest>

#include <cstdio>

#include <unistd.h>

namespace {

bool obey(FrmMain &window, const QByteArray &line)
{
    auto *tabs = window.findChild<QTabBar *>(QStringLiteral("TabStrip1"));
    auto *open = window.findChild<QPushButton *>(QStringLiteral("cmdComOpen"));
    auto *recorder = window.findChild<ReceiveRecorder *>();
    if (line.startsWith("tab ")) {
        // A click on a tab also empties the box.
        const int tab = line.mid(4).toInt();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
        return tabs->currentIndex() == tab;
    }
    if (line == "open") {
        if (!window.channel().portOpen())
            QTest::mouseClick(open, Qt::LeftButton);
        return window.channel().portOpen();
    }
    if (line == "close") {
        if (window.channel().portOpen())
            QTest::mouseClick(open, Qt::LeftButton);
        return !window.channel().portOpen();
    }
    if (line.startsWith("record "))
        return recorder->start(QString::fromLocal8Bit(line.mid(7)), ReceiveRecorder::Format::Binary);
    if (line == "stop") {
        recorder->stop();
        return true;
    }
    return false;
}

} // namespace

int WindowHost::serve(int argc, char **argv)
{
    QApplication app(argc, argv);
    FrmMain window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    // A moment for the first frames, then nothing of ours runs until told.
    QTest::qWait(300);
    std::printf("window %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);
    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0)
            return QApplication::quit();
        pending.append(buffer, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line == "quit")
                return QApplication::quit();
            std::printf("%s\n", obey(window, line) ? "ok" : "failed");
            std::fflush(stdout);
        }
    });
    return app.exec();
}

bool WindowHost::start(const QString &program, const QString &display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, {QStringLiteral("--window")});
    const QByteArray first = answer();
    if (!first.startsWith("window "))
        return false;
    m_windowId = first.mid(7).toUInt();
    return true;
}

bool WindowHost::command(const QByteArray &line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(5000);
    return answer() == "ok";
}

void WindowHost::quit()
{
    m_process.write("quit\n");
    m_process.waitForBytesWritten(5000);
    if (!m_process.waitForFinished(10000))
        m_process.kill();
}

QByteArray WindowHost::answer()
{
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(30000))
            return {};
    }
    return m_process.readLine().trimmed();
}

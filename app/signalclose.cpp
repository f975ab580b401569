// SPDX-License-Identifier: MIT
#include "app/signalclose.h"

#include "app/configdownload.h"
#include "capture/boardcapture.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds kSweepInterval{10};

} // namespace

SignalClose::SignalClose(QWidget *window, ConfigDownload &download, BoardCapture &capture, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_download(download)
    , m_capture(capture)
{
    m_sweep.setInterval(kSweepInterval);
    connect(&m_sweep, &QTimer::timeout, this, &SignalClose::sweep);
}

void SignalClose::start()
{
    m_download.stop();
    m_sweep.start();
    sweep();
}

void SignalClose::sweep()
{
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        return;
    }
    // A cancelled transfer still ends with the port's final reset.
    if (m_download.isTransferring())
        return;
    m_sweep.stop();
    m_capture.takeRest();
    m_window->close();
}

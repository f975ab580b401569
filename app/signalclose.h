// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

class BoardCapture;
class ConfigDownload;
class QWidget;

// Ends the window on SIGTERM, SIGHUP or SIGINT as a close does, whatever
// box or dialog is open: a download stops as a cancel does, the boxes are
// closed, the bytes the port still holds go to the recording, then the
// window closes (which closes the port).
class SignalClose : public QObject
{
    Q_OBJECT

public:
    SignalClose(QWidget *window, ConfigDownload &download, BoardCapture &capture, QObject *parent = nullptr);

    void start();

private:
    void sweep();

    QWidget *m_window;
    ConfigDownload &m_download;
    BoardCapture &m_capture;
    // Each box closed lets the code that opened it go on, which may open the
    // next; the sweep repeats until none is left.
    QTimer m_sweep;
};

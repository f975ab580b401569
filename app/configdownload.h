// SPDX-License-Identifier: MIT
#pragma once

#include "common/messagebox.h"
#include "download/filefingerprint.h"

#include <QObject>
#include <QString>

#include <optional>

struct BlockPlan;
struct PortSettings;
class DownloadEngine;
class QPoint;
class QWidget;
class SerialChannel;

// Streams a configuration file to the board: the click of cmdXactConfig,
// from the port check to the final reset of the port, shown in the window.
class ConfigDownload : public QObject
{
    Q_OBJECT

public:
    ConfigDownload(SerialChannel &MSCom, const PortSettings &settings, QWidget *window, QObject *parent = nullptr);

    void run();
    // Every step of run() but the file dialog, for a file dropped on the window.
    void runFile(const QString &path);
    // The same for the file of the last download, when there was one.
    void runAgain();
    QString lastPath() const { return m_lastPath; }
    // The button's context menu: download the last file again.
    void showMenu(const QPoint &globalPosition);
    // From the closing of the start message to the end of the final reset;
    // a failure meanwhile is told as the download's own.
    bool isTransferring() const;
    // The window is closing: a transfer under way stops as a cancel stops
    // it, and none starts after the box or dialog now open.
    void stop();

signals:
    void transferStarted();
    void transferFinished();
    // From the port check to the end, whichever way it ends.
    void runningChanged(bool running);

private:
    void start(const QString &given);
    bool reopenOpenPort();
    Message prompt(const QString &path, bool withNotes, const std::optional<FileFingerprint> &print) const;
    QString choosePath();
    std::optional<Message> transfer(const QString &path, const BlockPlan &plan);
    Message failureMessage(const QString &path) const;
    qint64 lineBytesPerSecond() const;

    SerialChannel &MSCom;
    const PortSettings &m_settings;
    QWidget *m_window;
    DownloadEngine *m_engine;
    QString m_lastFolder;
    QString m_lastPath;
    std::optional<FileFingerprint> m_lastPrint;
    bool m_running = false;
    bool m_stopped = false;
};

// SPDX-License-Identifier: MIT
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Tells when a local device path may have come or gone: the nearest
// existing folder of the path, and of the node a link leads to, are
// watched through inotify, so nothing is polled. Each report says only
// "look again"; what is there is for the listener to read.
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);

    void watch(const QString &path);
    void stop();
    QString path() const { return m_path; }

signals:
    void changed();

private:
    void rewatch();
    void onDirectoryChanged();

    QFileSystemWatcher m_watcher;
    QString m_path;
};

// The nearest folder above path that exists now ("/" at worst).
QString nearestExistingFolder(const QString &path);

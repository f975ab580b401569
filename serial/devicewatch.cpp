// SPDX-License-Identifier: MIT
#include "serial/devicewatch.h"

#include <QDir>
#include <QFileInfo>

// A watch on the node itself dies with the node and never sees it come
// back; a folder's watch reports each entry created, removed or given new
// permissions, and udev's last step for a new node is its permissions.
DeviceWatch::DeviceWatch(QObject *parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::onDirectoryChanged);
}

void DeviceWatch::watch(const QString &path)
{
    // Only a local path has a folder to watch.
    m_path = QDir::isAbsolutePath(path) ? path : QString();
    rewatch();
}

void DeviceWatch::stop()
{
    m_path.clear();
    rewatch();
}

void DeviceWatch::rewatch()
{
    QStringList wanted;
    if (!m_path.isEmpty()) {
        wanted.append(nearestExistingFolder(m_path));
        const QFileInfo entry(m_path);
        // The folder of the node a by-id link leads to tells when its permissions are set.
        if (entry.isSymLink())
            wanted.append(nearestExistingFolder(entry.symLinkTarget()));
        wanted.removeDuplicates();
    }
    const QStringList watched = m_watcher.directories();
    for (const QString &folder : watched) {
        if (!wanted.contains(folder))
            m_watcher.removePath(folder);
    }
    for (const QString &folder : wanted) {
        if (!watched.contains(folder))
            m_watcher.addPath(folder);
    }
}

void DeviceWatch::onDirectoryChanged()
{
    // /dev/serial/by-id goes away with the last adapter and comes back with
    // the next: follow the nearest folder that is there.
    rewatch();
    emit changed();
}

QString nearestExistingFolder(const QString &path)
{
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir() && folder != QDir::rootPath())
        folder = QFileInfo(folder).absolutePath();
    return folder;
}

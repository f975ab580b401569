// SPDX-License-Identifier: MIT
#include "app/filedrop.h"

#include "common/messagebox.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QWidget>

namespace {

constexpr qsizetype kMostNamed = 4;

QString nameOf(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
}

} // namespace

FileDrop::FileDrop(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    // Widgets that take no drops hand them on to the window; the text
    // fields take drops of their own and would insert a file's URL.
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    for (QLineEdit *field : window->findChildren<QLineEdit *>())
        field->installEventFilter(this);
}

bool FileDrop::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    if (!drop->mimeData()->hasUrls())
        return QObject::eventFilter(watched, event);
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        // Not from inside the drop: the dragging program waits for its end.
        const QList<QUrl> urls = drop->mimeData()->urls();
        QMetaObject::invokeMethod(this, [this, urls] { onDropped(urls); }, Qt::QueuedConnection);
    }
    return true;
}

void FileDrop::onDropped(const QList<QUrl> &urls)
{
    const DropVerdict verdict = judgeDrop(urls);
    if (verdict.reason.isEmpty())
        emit fileDropped(verdict.path);
    else
        showMessage(m_window, messages::cannotDrop(verdict.name, verdict.reason));
}

DropVerdict judgeDrop(const QList<QUrl> &urls)
{
    if (urls.size() != 1) {
        QStringList names;
        for (const QUrl &url : urls.mid(0, kMostNamed))
            names.append(nameOf(url));
        if (urls.size() > kMostNamed)
            names.append(QStringLiteral("..."));
        return {{}, names.join(QLatin1Char('\n')), QStringLiteral("ファイルは一つずつドロップしてください")};
    }
    const QUrl &url = urls.constFirst();
    const QString name = nameOf(url);
    if (!url.isLocalFile())
        return {{}, name, QStringLiteral("このコンピューターのファイルではありません")};
    const QFileInfo file(name);
    if (file.isDir())
        return {{}, name, QStringLiteral("フォルダーはダウンロードできません")};
    if (!file.exists())
        return {{}, name, QStringLiteral("ファイルがありません")};
    if (!file.isFile())
        return {{}, name, QStringLiteral("通常のファイルではありません")};
    return {file.absoluteFilePath(), name, {}};
}

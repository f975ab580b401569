// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QWidget;

// Takes a file dropped anywhere on the main window, its text fields
// included, for a download; anything else dropped as files is refused with
// a box naming it. Plain text dropped on a field is left to the field.
class FileDrop : public QObject
{
    Q_OBJECT

public:
    explicit FileDrop(QWidget *window, QObject *parent = nullptr);

signals:
    void fileDropped(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onDropped(const QList<QUrl> &urls);

    QWidget *m_window;
};

// What a drop of urls amounts to: the one local regular file's path, or
// what to name and why it is refused.
struct DropVerdict
{
    QString path;
    QString name;
    QString reason;
};

DropVerdict judgeDrop(const QList<QUrl> &urls);

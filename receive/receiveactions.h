// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class FindWindow;
class QAction;
class QWidget;
class ReceiveRecorder;
class ReceiveView;

// What the receive box's context menu offers beyond copying: recording to
// a file, saving what is shown, the display options and the find window.
class ReceiveActions : public QObject
{
    Q_OBJECT

public:
    ReceiveActions(ReceiveView *rtxtAscRcv, ReceiveRecorder &recorder, QWidget *window, QObject *parent = nullptr);

    void startRecording();
    void saveShown();
    // Copying too much offers to save the selection instead.
    void offerToSaveSelection();
    void openFind();

private:
    QAction *addAction(const QString &text, const char *name);
    QAction *addOption(const QString &text, const char *name, bool checked);
    void onRecordingChanged(bool recording);
    void onRecordingFailed(const QString &reason);
    void save(bool selectionOnly);
    QString askPath(const QString &title, const QStringList &filters, QString *chosenFilter);

    ReceiveView *rtxtAscRcv;
    ReceiveRecorder &m_recorder;
    QWidget *m_window;
    FindWindow *m_find = nullptr;
    QList<QAction *> m_actions;
    QAction *m_start = nullptr;
    QAction *m_stop = nullptr;
    QString m_lastFolder;
};

// SPDX-License-Identifier: MIT
#include "receive/receiveactions.h"

#include "common/messagebox.h"
#include "receive/findwindow.h"
#include "capture/receiverecorder.h"
#include "receive/receiveview.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kBinaryFilter = QStringLiteral("バイナリ (*.bin)");
const QString kTextFilter = QStringLiteral("テキスト (*.txt)");

QString proposedName()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("'tolvane-'yyyyMMdd-HHmmss"));
}

// A name typed without a suffix gets the chosen type's; devices and files
// that exist are taken as they are.
QString withSuffix(const QString &path, const QString &filter)
{
    const QFileInfo file(path);
    if (!file.suffix().isEmpty() || file.exists())
        return path;
    return path + (filter == kTextFilter ? QStringLiteral(".txt") : QStringLiteral(".bin"));
}

} // namespace

ReceiveActions::ReceiveActions(ReceiveView *view, ReceiveRecorder &recorder, QWidget *window, QObject *parent)
    : QObject(parent)
    , rtxtAscRcv(view)
    , m_recorder(recorder)
    , m_window(window)
    , m_find(new FindWindow(view, window))
{
    m_start = addAction(QStringLiteral("記録開始..."), "actRecordStart");
    connect(m_start, &QAction::triggered, this, &ReceiveActions::startRecording);
    m_stop = addAction(QStringLiteral("記録停止"), "actRecordStop");
    m_stop->setEnabled(false);
    connect(m_stop, &QAction::triggered, &m_recorder, &ReceiveRecorder::stop);
    connect(addAction(QStringLiteral("名前を付けて保存..."), "actSaveAs"), &QAction::triggered, this,
            &ReceiveActions::saveShown);
    connect(addOption(QStringLiteral("タイムスタンプ表示"), "actTimestamps", false), &QAction::toggled, view,
            &ReceiveView::setTimestamps);
    connect(addOption(QStringLiteral("16バイト単位で表示"), "actSixteenBytes", false), &QAction::toggled, view,
            &ReceiveView::setSixteenBytes);
    connect(addOption(QStringLiteral("自動スクロール"), "actAutoScroll", true), &QAction::toggled, view,
            &ReceiveView::setAutoScroll);
    QAction *find = addAction(QStringLiteral("検索..."), "actFind");
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, this, &ReceiveActions::openFind);
    view->setMenuActions(m_actions);
    connect(view, &ReceiveView::copyTooLarge, this, &ReceiveActions::offerToSaveSelection);

    // F3 and Shift+F3 work from the main window and from the find window alike.
    auto *next = new QAction(this);
    next->setShortcut(QKeySequence::FindNext);
    connect(next, &QAction::triggered, m_find, &FindWindow::findNext);
    auto *previous = new QAction(this);
    previous->setShortcut(QKeySequence::FindPrevious);
    connect(previous, &QAction::triggered, m_find, &FindWindow::findPrevious);
    for (QWidget *target : {m_window, static_cast<QWidget *>(m_find)})
        target->addActions({find, next, previous});

    connect(&m_recorder, &ReceiveRecorder::recordingChanged, this, &ReceiveActions::onRecordingChanged);
    connect(&m_recorder, &ReceiveRecorder::failed, this, &ReceiveActions::onRecordingFailed);
}

QAction *ReceiveActions::addAction(const QString &text, const char *name)
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    m_actions.append(action);
    return action;
}

QAction *ReceiveActions::addOption(const QString &text, const char *name, bool checked)
{
    QAction *action = addAction(text, name);
    action->setCheckable(true);
    action->setChecked(checked);
    return action;
}

QString ReceiveActions::askPath(const QString &title, const QStringList &filters, QString *chosenFilter)
{
    QFileDialog dialog(m_window, title, m_lastFolder.isEmpty() ? QDir::homePath() : m_lastFolder);
    dialog.setObjectName(QStringLiteral("dlgReceiveFile"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("保存する場所:"));
    dialog.setLabelText(QFileDialog::FileName, QStringLiteral("ファイル名:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("ファイルの種類:"));
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("保存"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("キャンセル"));
    dialog.selectFile(proposedName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    *chosenFilter = dialog.selectedNameFilter();
    const QString path = withSuffix(dialog.selectedFiles().constFirst(), *chosenFilter);
    m_lastFolder = QFileInfo(path).absolutePath();
    return path;
}

void ReceiveActions::startRecording()
{
    QString filter;
    const QString path = askPath(QStringLiteral("記録開始"), {kBinaryFilter, kTextFilter}, &filter);
    if (path.isEmpty())
        return;
    const bool text = QFileInfo(path).suffix().compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0
                      || (QFileInfo(path).suffix().isEmpty() && filter == kTextFilter);
    if (!m_recorder.start(path, text ? ReceiveRecorder::Format::Text : ReceiveRecorder::Format::Binary))
        showMessage(m_window, messages::cannotRecord(path, m_recorder.errorString()));
}

void ReceiveActions::saveShown()
{
    save(false);
}

void ReceiveActions::offerToSaveSelection()
{
    if (showMessage(m_window, messages::selectionTooLargeToCopy()))
        save(true);
}

void ReceiveActions::save(bool selectionOnly)
{
    QString filter;
    const QString path = askPath(QStringLiteral("名前を付けて保存"), {kTextFilter}, &filter);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        showMessage(m_window, messages::cannotSave(path, file.errorString()));
        return;
    }
    // Nothing is committed when some of the data could not be read back.
    if (!(selectionOnly ? rtxtAscRcv->writeSelected(file) : rtxtAscRcv->writeShown(file))) {
        file.cancelWriting();
        showMessage(m_window, messages::cannotSave(path, rtxtAscRcv->writeError()));
    } else if (!file.commit()) {
        showMessage(m_window, messages::cannotSave(path, file.errorString()));
    }
}

void ReceiveActions::openFind()
{
    m_find->show();
    m_find->raise();
    m_find->activateWindow();
}

void ReceiveActions::onRecordingChanged(bool recording)
{
    m_start->setEnabled(!recording);
    m_stop->setEnabled(recording);
}

void ReceiveActions::onRecordingFailed(const QString &reason)
{
    showMessage(m_window, messages::recordingStopped(m_recorder.fileName(), reason));
}

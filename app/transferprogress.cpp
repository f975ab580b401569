// SPDX-License-Identifier: MIT
#include "app/transferprogress.h"

#include <QLocale>

TransferProgress::TransferProgress(qint64 total, qint64 bytesPerSecond, QWidget *parent)
    : QProgressDialog(parent)
    , m_total(qMax<qint64>(0, total))
    , m_bytesPerSecond(qMax<qint64>(1, bytesPerSecond))
{
    setObjectName(QStringLiteral("downloadProgress"));
    setWindowTitle(QStringLiteral("ダウンロード"));
    setCancelButtonText(QStringLiteral("キャンセル"));
    // The window keeps painting but takes no input until the transfer ends.
    setWindowModality(Qt::ApplicationModal);
    // Shown and hidden by the download itself, not by elapsed time or value.
    setMinimumDuration(0);
    setAutoReset(false);
    setAutoClose(false);
    setRange(0, int(m_total));
    setValue(0);
    setLabelText(progressText(0, m_total, m_bytesPerSecond));
}

void TransferProgress::setHeaderLine(const QString &line)
{
    m_headerLine = line.isEmpty() ? QString() : line + QLatin1Char('\n');
    setLabelText(m_headerLine + labelText());
}

void TransferProgress::showSent(qint64 sent)
{
    setLabelText(m_headerLine + progressText(sent, m_total, m_bytesPerSecond));
    // A modal dialog's setValue() runs the event loop once; keep it last.
    setValue(int(qBound<qint64>(0, sent, m_total)));
}

QString progressText(qint64 sent, qint64 total, qint64 bytesPerSecond)
{
    const QLocale locale;
    const qint64 left = qMax<qint64>(0, total - sent);
    const qint64 seconds = (left + bytesPerSecond - 1) / bytesPerSecond;
    return QStringLiteral("送信済み %1 / %2 バイト\n残り時間 %3:%4")
        .arg(locale.toString(sent), locale.toString(total))
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

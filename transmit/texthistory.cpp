// SPDX-License-Identifier: MIT
#include "transmit/texthistory.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QtDebug>

TextHistory::TextHistory(QLineEdit *text, QObject *parent)
    : QObject(parent)
    , txtAscSnd(text)
{
    // An unreadable file leaves the history empty; the next line sent replaces it.
    if (!m_history.load(SendHistory::defaultPath()))
        qWarning("send history %s ignored: %s", qPrintable(SendHistory::defaultPath()),
                 qPrintable(m_history.errorString()));
    txtAscSnd->installEventFilter(this);
}

void TextHistory::add(const QString &line)
{
    m_history.add(line);
    // Losing the history costs the operator nothing sent; the log says why.
    if (!m_history.save(SendHistory::defaultPath()))
        qWarning("send history %s not saved: %s", qPrintable(SendHistory::defaultPath()),
                 qPrintable(m_history.errorString()));
}

bool TextHistory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != txtAscSnd || event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    std::optional<QString> shown;
    if (key->key() == Qt::Key_Up)
        shown = m_history.older(txtAscSnd->text());
    else if (key->key() == Qt::Key_Down)
        shown = m_history.newer();
    else
        return false;
    if (shown)
        txtAscSnd->setText(*shown);
    return true;
}

// SPDX-License-Identifier: MIT
#include "receive/findwindow.h"

#include "receive/receiveview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FindWindow::FindWindow(ReceiveView *view, QWidget *parent)
    : QDialog(parent)
    , m_view(view)
    , m_counter(new MatchCounter(view->store(), this))
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("検索"));
    setModal(false);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    cmdFindNext = new QPushButton(QStringLiteral("次へ"), this);
    cmdFindNext->setObjectName(QStringLiteral("cmdFindNext"));
    cmdFindNext->setDefault(true);
    cmdFindPrevious = new QPushButton(QStringLiteral("前へ"), this);
    cmdFindPrevious->setObjectName(QStringLiteral("cmdFindPrevious"));
    lblMatches = new QLabel(this);
    lblMatches->setObjectName(QStringLiteral("lblMatches"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblMatches, 1);
    buttons->addWidget(cmdFindPrevious);
    buttons->addWidget(cmdFindNext);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtFind);
    layout->addLayout(buttons);

    connect(cmdFindNext, &QPushButton::clicked, this, &FindWindow::findNext);
    connect(cmdFindPrevious, &QPushButton::clicked, this, &FindWindow::findPrevious);
    connect(txtFind, &QLineEdit::textChanged, this, &FindWindow::showCount);
    connect(m_counter, &MatchCounter::counted, this, &FindWindow::onCounted);
}

void FindWindow::findNext()
{
    find(true);
}

void FindWindow::findPrevious()
{
    find(false);
}

bool FindWindow::readPattern()
{
    const bool hex = m_view->store().mode() == ReceiveStore::Mode::Hex;
    return m_search.setPattern(txtFind->text(), hex) && !m_search.isEmpty();
}

// From the current match on, and round from the other end when nothing lies beyond it.
void FindWindow::find(bool forward)
{
    showCount();
    if (!readPattern())
        return;
    const ReceiveStore &store = m_view->store();
    qint64 at = forward ? m_search.next(store, m_current + 1) : m_search.previous(store, m_current < 0 ? store.length() : m_current);
    if (at < 0)
        at = forward ? m_search.next(store, 0) : m_search.previous(store, store.length());
    m_current = at;
    if (at >= 0)
        m_view->selectMatch(at, m_search.matchEnd(store, at));
}

// The count of a large box takes long: it follows when it is done.
void FindWindow::showCount()
{
    m_counter->stop();
    if (!readPattern()) {
        // A pattern typed half-way ("0D0" on the way to "0D0A") is said here, never in a box.
        if (m_search.refusedColumn() > 0)
            lblMatches->setText(QStringLiteral("%1 文字目: 16進数として読めません").arg(m_search.refusedColumn()));
        else
            lblMatches->setText(txtFind->text().isEmpty() ? QString() : QStringLiteral("0 件"));
        m_view->setSearch(nullptr);
        return;
    }
    lblMatches->setText(QStringLiteral("数えています..."));
    m_counter->start(m_search);
    m_view->setSearch(&m_search);
}

void FindWindow::onCounted(qint64 matches)
{
    lblMatches->setText(QStringLiteral("%1 件").arg(matches));
}

void FindWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_view->holdView(true);
    m_current = -1;
    txtFind->setFocus();
    txtFind->selectAll();
    showCount();
}

void FindWindow::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    m_counter->stop();
    m_view->holdView(false);
    m_view->setSearch(nullptr);
}

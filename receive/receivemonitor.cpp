// SPDX-License-Identifier: MIT
#include "receive/receivemonitor.h"

#include "common/messagebox.h"
#include "receive/receiveview.h"
#include "capture/spillnotice.h"
#include "serial/lineerrors.h"
#include "serial/serialchannel.h"

#include <QTabBar>

namespace {

constexpr std::chrono::milliseconds kReadRest{14};

} // namespace

ReceiveMonitor::ReceiveMonitor(SerialChannel &channel, QTabBar *tabs, ReceiveView *view, QWidget *window,
                               QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , TabStrip1(tabs)
    , rtxtAscRcv(view)
    , m_window(window)
{
    // Bytes that trickle in are taken about once a frame, so one wake-up
    // shows many writes. A little under a 60 Hz frame: a byte then waits 7 ms
    // in the middle and reaches the screen within the frame even with the
    // drawing; 16 ms saved a tenth of the wake-ups and added a millisecond
    // to the middle delay.
    MSCom.setReadRest(kReadRest);
    // Queued: the refusal is noticed inside an append, which a modal box must not interrupt.
    connect(&SpillNotice::instance(), &SpillNotice::refused, this, &ReceiveMonitor::onSpillRefused,
            Qt::QueuedConnection);
    connect(&SpillNotice::instance(), &SpillNotice::unreadable, this, &ReceiveMonitor::onSpillUnreadable,
            Qt::QueuedConnection);
}

void ReceiveMonitor::onComm()
{
    // The tab is read before the event code, so the mode follows the tab
    // selected when the event is handled, not when the data arrived.
    const int selectedTab = TabStrip1->currentIndex() + 1;
    const int code = MSCom.commEvent();
    if (code == commevent::kReceive) {
        if (selectedTab == 1)
            receiveText();
        else
            receiveHex();
        return;
    }
    if (!commevent::isError(code))
        return;
    showMessage(m_window, messages::lineEvent(code));
}

void ReceiveMonitor::onTabClicked(int index)
{
    if (index < 0)
        return;
    rtxtAscRcv->clear();
    // A lead byte held back belongs to what the box showed before: the new
    // mode starts afresh, and text two clicks later does not begin with it.
    MSCom.resetTextDecoder();
}

void ReceiveMonitor::onSpillRefused(const QString &reason)
{
    showMessage(m_window, messages::cannotSpillReceivedData(reason));
}

void ReceiveMonitor::onSpillUnreadable(const QString &reason)
{
    showMessage(m_window, messages::cannotReadBackReceivedData(reason));
}

void ReceiveMonitor::receiveText()
{
    // Taken as the bytes of whole characters: the box decodes only what it shows.
    MSCom.setInputMode(SerialChannel::InputMode::Text);
    const QByteArray chunk = MSCom.inputTextBytes();
    if (!chunk.isEmpty() && chunk.front() == '\0') {
        // A chunk that begins with NUL is dropped with whatever came after it.
        MSCom.setInBufferCount(0);
        return;
    }
    const ReceiveView::Take take(*rtxtAscRcv);
    rtxtAscRcv->appendCp932(chunk);
    rtxtAscRcv->moveCaretToEnd();
}

void ReceiveMonitor::receiveHex()
{
    // Everything taken is shown. No waiting count is read first: bytes that
    // arrived between that count and the read would leave the channel unseen.
    MSCom.setInputMode(SerialChannel::InputMode::Binary);
    const SerialChannel::Input input = MSCom.input();
    const ReceiveView::Take take(*rtxtAscRcv);
    if (const auto *chunk = std::get_if<QByteArray>(&input))
        rtxtAscRcv->appendBytes(*chunk);
    rtxtAscRcv->moveCaretToEnd();
}

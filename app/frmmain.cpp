// SPDX-License-Identifier: MIT
#include "app/frmmain.h"

#include "app/configdownload.h"
#include "app/filedrop.h"
#include "app/reconnectcontrol.h"
#include "app/signalclose.h"
#include "app/wheelblocker.h"
#include "capture/boardcapture.h"
#include "common/messagebox.h"
#include "common/twips.h"
#include "receive/receiveactions.h"
#include "receive/receivemonitor.h"
#include "receive/receiveview.h"
#include "serial/portreconnector.h"
#include "serial/serialchannel.h"
#include "settings/portassignlauncher.h"
#include "settings/settingslauncher.h"
#include "transmit/hexbytebox.h"
#include "transmit/hexsend.h"
#include "transmit/lineendchoice.h"
#include "transmit/macrosend.h"
#include "transmit/texthistory.h"
#include "transmit/textsend.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>

#include <limits>

namespace {

const QString kCaptionOpen = QStringLiteral("COM オープン");
const QString kCaptionClose = QStringLiteral("COM クローズ");
const QString kCaptionClosedBySet = QStringLiteral("COMオープン");
const QString kReceiveCaption = QStringLiteral("受信データ");
const QString kRecordingCaption = QStringLiteral("受信データ ● 記録中");

constexpr QSize kClientSize{twips(7935), twips(6135)};
constexpr QPoint kWindowPosition{twips(1000), twips(1000)};

struct Placement
{
    const char *name;
    QRect rect;
};

// Every control's place and size, in twips as designed.
constexpr Placement kLayout[] = {
    {"cmdComOpen", twipsRect(120, 120, 1335, 375)},
    {"cmdXactConfig", twipsRect(1680, 120, 1215, 375)},
    {"Label3", twipsRect(4440, 240, 1095, 255)},
    {"Label4", twipsRect(5520, 240, 495, 255)},
    {"cmdSet", twipsRect(6480, 120, 1335, 375)},
    {"Frame1", twipsRect(120, 600, 7695, 1695)},
    {"Label1", twipsRect(240, 1200, 855, 255)},
    {"Label2", twipsRect(240, 1680, 735, 255)},
    {"chkCrLf", twipsRect(5280, 840, 1575, 255)},
    {"txtAscSnd", twipsRect(960, 1200, 5775, 270)},
    {"cmdAscSnd", twipsRect(6960, 1080, 735, 465)},
    {"cmdBinSnd", twipsRect(6960, 1560, 735, 465)},
    {"TabStrip1", twipsRect(120, 2400, 7695, 3615)},
    {"Frame2", twipsRect(240, 2760, 7455, 3135)},
    {"rtxtAscRcv", twipsRect(360, 3000, 7215, 2775)},
};

constexpr QRect binSndRect(int index)
{
    return twipsRect(960 + 360 * index, 1680, 375, 270);
}

QRect placementOf(const QString &name)
{
    for (const Placement &placement : kLayout) {
        if (name == QLatin1String(placement.name))
            return placement.rect;
    }
    return {};
}

template<typename Widget>
Widget *createControl(QWidget *parent, const char *name, const QString &text = {})
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(placementOf(widget->objectName()));
    if constexpr (requires { widget->setText(text); }) {
        if (!text.isEmpty())
            widget->setText(text);
    } else if constexpr (requires { widget->setTitle(text); }) {
        widget->setTitle(text);
    }
    return widget;
}

QFont fixedPitchFont()
{
    // Stands in for the MS Gothic the layout was drawn with.
    QFont font(QStringLiteral("Noto Sans Mono CJK JP"), 9);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

} // namespace

FrmMain::FrmMain(QWidget *parent)
    : QWidget(parent)
    , MSCom(new SerialChannel(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tolvane ver 1.1"));
    setFixedSize(kClientSize);
    createControls();
    setTabOrder();
    load();
    connectHandlers();
}

FrmMain::~FrmMain()
{
    // The channel closes its port and the recorder its file as they are
    // deleted, after this window's own part is gone: nothing may reach it then.
    MSCom->disconnect(this);
    m_recorder->disconnect(this);
}

void FrmMain::createControls()
{
    cmdComOpen = createControl<QPushButton>(this, "cmdComOpen", kCaptionOpen);
    cmdXactConfig = createControl<QPushButton>(this, "cmdXactConfig", QStringLiteral("ダウンロード"));
    Label3 = createControl<QLabel>(this, "Label3", QStringLiteral("ポート番号 :"));
    Label4 = createControl<QLabel>(this, "Label4", QStringLiteral("3"));
    cmdSet = createControl<QPushButton>(this, "cmdSet", QStringLiteral("設定変更"));
    createSendArea();
    createReceiveArea();
}

void FrmMain::createSendArea()
{
    // Created first so that it is drawn behind the send controls.
    Frame1 = createControl<QGroupBox>(this, "Frame1", QStringLiteral("送信データ"));
    Label1 = createControl<QLabel>(this, "Label1", QStringLiteral("テキスト"));
    Label2 = createControl<QLabel>(this, "Label2", QStringLiteral("バイナリ"));
    chkCrLf = createControl<QCheckBox>(this, "chkCrLf", QStringLiteral("改行コード付加"));
    txtAscSnd = createControl<QLineEdit>(this, "txtAscSnd");
    txtAscSnd->setFont(fixedPitchFont());
    // QLineEdit stops at 32767 characters by default and cuts a longer paste without a word.
    txtAscSnd->setMaxLength(std::numeric_limits<int>::max());
    cmdAscSnd = createControl<QPushButton>(this, "cmdAscSnd", QStringLiteral("送信"));
    for (int i = 0; i < int(txtBinSnd.size()); ++i) {
        txtBinSnd[i] = new HexByteBox(this);
        txtBinSnd[i]->setObjectName(QStringLiteral("txtBinSnd%1").arg(i));
        txtBinSnd[i]->setGeometry(binSndRect(i));
        txtBinSnd[i]->setFont(fixedPitchFont());
    }
    cmdBinSnd = createControl<QPushButton>(this, "cmdBinSnd", QStringLiteral("送信"));
}

void FrmMain::createReceiveArea()
{
    TabStrip1 = new QTabBar(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setExpanding(false);
    TabStrip1->setDrawBase(false);
    TabStrip1->installEventFilter(new WheelBlocker(TabStrip1));
    // QTabBar is only the row of tabs; the strip's page is a panel below it,
    // placed once the tabs exist and the row's height is known.
    m_tabPage = new QGroupBox(this);
    m_tabPage->setObjectName(QStringLiteral("TabStrip1Page"));

    Frame2 = createControl<QGroupBox>(this, "Frame2", kReceiveCaption);
    rtxtAscRcv = new ReceiveView(this);
    rtxtAscRcv->setObjectName(QStringLiteral("rtxtAscRcv"));
    rtxtAscRcv->setGeometry(placementOf(rtxtAscRcv->objectName()));
    rtxtAscRcv->setFont(fixedPitchFont());
}

void FrmMain::setTabOrder()
{
    QList<QWidget *> chain{cmdComOpen, cmdXactConfig, cmdSet, txtAscSnd, chkCrLf, cmdAscSnd};
    for (HexByteBox *field : txtBinSnd)
        chain.append(field);
    chain << cmdBinSnd << TabStrip1 << rtxtAscRcv;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        QWidget::setTabOrder(chain[i], chain[i + 1]);
}

void FrmMain::load()
{
    MSCom->setCommPort(3);
    (void)MSCom->setSettings(QStringLiteral("115200,n,8,1"));
    MSCom->setHandshaking(0);
    MSCom->setRtsEnable(false);
    MSCom->setRThreshold(1);
    MSCom->setSThreshold(1);
    move(kWindowPosition);
    m_portSettings = PortSettings{3, 14};
    TabStrip1->addTab(QStringLiteral("テキスト"));
    TabStrip1->insertTab(1, QStringLiteral("バイナリ"));
    TabStrip1->setCurrentIndex(0);
    placeTabStrip();
    updatePortLabel();
}

void FrmMain::placeTabStrip()
{
    const QRect strip = placementOf(QStringLiteral("TabStrip1"));
    const int tabHeight = TabStrip1->sizeHint().height();
    TabStrip1->setGeometry(strip.left(), strip.top(), strip.width(), tabHeight);
    m_tabPage->setGeometry(strip.adjusted(0, tabHeight - 1, 0, 0));
    TabStrip1->raise();
}

void FrmMain::connectHandlers()
{
    m_download = new ConfigDownload(*MSCom, m_portSettings, this, this);
    m_receive = new ReceiveMonitor(*MSCom, TabStrip1, rtxtAscRcv, this, this);
    m_hexSend = new HexSend(*MSCom, txtBinSnd, this, this);
    m_settings = new SettingsLauncher(*MSCom, m_portSettings, Label4, this, this);
    m_portAssign = new PortAssignLauncher(*MSCom, Label4, this, this);
    // Before the window's own handler of a loss, whose box waits for the operator.
    connectReconnect();

    connect(cmdComOpen, &QPushButton::clicked, this, &FrmMain::onComOpenClicked);
    connect(cmdXactConfig, &QPushButton::clicked, m_download, &ConfigDownload::run);
    connect(cmdSet, &QPushButton::clicked, m_settings, &SettingsLauncher::open);
    connect(cmdBinSnd, &QPushButton::clicked, m_hexSend, &HexSend::send);
    connectSend();
    // Every click notification, the selected tab's included, and a change by keyboard.
    connect(TabStrip1, &QTabBar::tabBarClicked, m_receive, &ReceiveMonitor::onTabClicked);
    connect(TabStrip1, &QTabBar::currentChanged, m_receive, &ReceiveMonitor::onTabClicked);
    connectRecording();
    connect(MSCom, &SerialChannel::onComm, m_receive, &ReceiveMonitor::onComm);
    connect(MSCom, &SerialChannel::disconnected, this, &FrmMain::onPortDisconnected);
    connect(MSCom, &SerialChannel::portOpenChanged, this, &FrmMain::updateComOpenCaption);
    connect(m_settings, &SettingsLauncher::portClosedBySet, this, &FrmMain::onPortClosedBySet);
    connectMenus();
    m_drop = new FileDrop(this, this);
    connect(m_drop, &FileDrop::fileDropped, m_download, &ConfigDownload::runFile);
}

// Every way the operator takes the port in hand ends a wait for its device.
void FrmMain::connectReconnect()
{
    m_reconnect = new ReconnectControl(*MSCom, this);
    PortReconnector *reconnector = &m_reconnect->reconnector();
    connect(m_settings, &SettingsLauncher::setClicked, reconnector, &PortReconnector::cancel);
    connect(m_portAssign, &PortAssignLauncher::assignmentChanged, reconnector, &PortReconnector::cancel);
    connect(m_download, &ConfigDownload::runningChanged, this, &FrmMain::onDownloadRunning);
    connect(MSCom, &SerialChannel::reconnected, this, &FrmMain::updatePortLabel);
    m_portAssign->setMenuActions({m_reconnect->action()});
}

void FrmMain::connectMenus()
{
    // The whole "ポート番号 :" label leads to the port's menu, not the number alone.
    for (QLabel *label : {Label3, Label4}) {
        label->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(label, &QWidget::customContextMenuRequested, m_portAssign,
                [this, label](const QPoint &position) { m_portAssign->showMenu(label->mapToGlobal(position)); });
    }
    cmdXactConfig->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmdXactConfig, &QWidget::customContextMenuRequested, m_download,
            [this](const QPoint &position) { m_download->showMenu(cmdXactConfig->mapToGlobal(position)); });
}

// A download ends a wait, and a loss during it is the download's own failure.
void FrmMain::onDownloadRunning(bool running)
{
    if (running)
        m_reconnect->reconnector().cancel();
    m_reconnect->reconnector().setHeld(running);
}

void FrmMain::connectSend()
{
    m_lineEnd = new LineEndChoice(chkCrLf, this);
    m_textSend = new TextSend(*MSCom, txtAscSnd, chkCrLf, *m_lineEnd, this, this);
    m_textHistory = new TextHistory(txtAscSnd, this);
    m_macroSend = new MacroSend(*MSCom, txtAscSnd, this, this);
    connect(cmdAscSnd, &QPushButton::clicked, m_textSend, &TextSend::send);
    connect(m_textSend, &TextSend::sent, m_textHistory, &TextHistory::add);
}

// Before the receive monitor's: a line error is in the recording before its box is shown.
void FrmMain::connectRecording()
{
    m_capture = new BoardCapture(*MSCom, this);
    m_recorder = &m_capture->recorder();
    m_receiveActions = new ReceiveActions(rtxtAscRcv, *m_recorder, this, this);
    connect(m_download, &ConfigDownload::transferStarted, m_capture, &BoardCapture::onDownloadStarted);
    connect(m_download, &ConfigDownload::transferFinished, m_capture, &BoardCapture::onDownloadFinished);
    connect(m_recorder, &ReceiveRecorder::recordingChanged, this, &FrmMain::onRecordingChanged);
    m_signalClose = new SignalClose(this, *m_download, *m_capture, this);
}

void FrmMain::closeBySignal()
{
    m_signalClose->start();
}

void FrmMain::onRecordingChanged(bool recording)
{
    Frame2->setTitle(recording ? kRecordingCaption : kReceiveCaption);
}

void FrmMain::updatePortLabel()
{
    Label4->setToolTip(portToolTip(MSCom->devicePath()));
}

void FrmMain::onComOpenClicked()
{
    const bool opening = !MSCom->portOpen();
    m_closedBySet = false;
    m_reconnect->reconnector().cancel();
    MSCom->setPortOpen(opening);
    updateComOpenCaption();
    updatePortLabel();
    if (opening && !MSCom->portOpen())
        m_portAssign->tellOpenFailure();
}

// The one writer of the caption: it follows the channel's open state.
void FrmMain::updateComOpenCaption()
{
    if (MSCom->portOpen())
        m_closedBySet = false;
    cmdComOpen->setText(MSCom->portOpen() ? kCaptionClose : m_closedBySet ? kCaptionClosedBySet : kCaptionOpen);
}

void FrmMain::onPortClosedBySet()
{
    m_closedBySet = true;
    updateComOpenCaption();
}

void FrmMain::onPortDisconnected()
{
    // A download under way tells the operator itself, as its own failure.
    if (m_download->isTransferring() || m_lossShown)
        return;
    m_lossShown = true;
    showMessage(this, messages::portDisconnected());
    m_lossShown = false;
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    m_reconnect->reconnector().cancel();
    MSCom->setPortOpen(false);
    event->accept();
}

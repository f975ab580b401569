// SPDX-License-Identifier: MIT
#pragma once

#include "common/portsettings.h"

#include <QWidget>

#include <array>

class BoardCapture;
class ConfigDownload;
class FileDrop;
class SignalClose;
class HexByteBox;
class HexSend;
class LineEndChoice;
class MacroSend;
class PortAssignLauncher;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class ReceiveActions;
class ReceiveMonitor;
class ReceiveRecorder;
class ReceiveView;
class ReconnectControl;
class SerialChannel;
class SettingsLauncher;
class TextHistory;
class TextSend;

// The main window: owns the serial channel, the settings values and every
// control, and routes each control event to the subsystem that handles it.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(QWidget *parent = nullptr);
    ~FrmMain() override;

    // SIGTERM, SIGHUP or SIGINT: closes as the operator's close does, with
    // any box or the download's progress open.
    void closeBySignal();

    SerialChannel &channel() { return *MSCom; }
    const PortSettings &portSettings() const { return m_portSettings; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createSendArea();
    void createReceiveArea();
    void setTabOrder();
    void load();
    void placeTabStrip();
    void connectHandlers();
    void connectSend();
    void updatePortLabel();

    void onComOpenClicked();
    void onPortDisconnected();
    void onPortClosedBySet();
    void updateComOpenCaption();
    void connectRecording();
    void connectReconnect();
    void connectMenus();
    void onDownloadRunning(bool running);
    void onRecordingChanged(bool recording);

    SerialChannel *MSCom = nullptr;
    PortSettings m_portSettings;
    // The settings dialog's Set closed the port: its caption has no blank.
    bool m_closedBySet = false;
    // The box of a lost port is showing: a second loss meanwhile shows none.
    bool m_lossShown = false;

    QPushButton *cmdComOpen = nullptr;
    QPushButton *cmdXactConfig = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QPushButton *cmdSet = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QCheckBox *chkCrLf = nullptr;
    QLineEdit *txtAscSnd = nullptr;
    QPushButton *cmdAscSnd = nullptr;
    std::array<HexByteBox *, 16> txtBinSnd{};
    QPushButton *cmdBinSnd = nullptr;
    QTabBar *TabStrip1 = nullptr;
    QWidget *m_tabPage = nullptr;
    QGroupBox *Frame2 = nullptr;
    ReceiveView *rtxtAscRcv = nullptr;

    ConfigDownload *m_download = nullptr;
    ReceiveMonitor *m_receive = nullptr;
    TextSend *m_textSend = nullptr;
    LineEndChoice *m_lineEnd = nullptr;
    TextHistory *m_textHistory = nullptr;
    MacroSend *m_macroSend = nullptr;
    HexSend *m_hexSend = nullptr;
    SettingsLauncher *m_settings = nullptr;
    PortAssignLauncher *m_portAssign = nullptr;
    BoardCapture *m_capture = nullptr;
    SignalClose *m_signalClose = nullptr;
    ReceiveRecorder *m_recorder = nullptr;
    ReceiveActions *m_receiveActions = nullptr;
    ReconnectControl *m_reconnect = nullptr;
    FileDrop *m_drop = nullptr;
};

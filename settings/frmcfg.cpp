// SPDX-License-Identifier: MIT
#include "settings/frmcfg.h"

#include "common/messagebox.h"
#include "common/portsettings.h"
#include "common/twips.h"
#include "serial/serialchannel.h"
#include "settings/numberreader.h"
#include "settings/portassignlauncher.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstdint>
#include <limits>
#include <optional>

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;
constexpr int kMaxDropCount = 20;
// What a refused value is reset to, and the fields' texts when the dialog is created.
constexpr int kInitialPort = 3;
constexpr int kInitialDropCount = 14;

constexpr QSize kClientSize{twips(2925), twips(1545)};
constexpr QPoint kDialogPosition{twips(1000), twips(1000)};

constexpr QRect kLabel1Rect = twipsRect(240, 120, 1095, 255);
constexpr QRect kSetRect = twipsRect(1560, 320, 1095, 375);
constexpr QRect kPortRect = twipsRect(240, 360, 735, 270);
constexpr QRect kLabel2Rect = twipsRect(240, 840, 1095, 255);
constexpr QRect kByteRect = twipsRect(240, 1080, 735, 270);
constexpr QRect kCancelRect = twipsRect(1560, 1040, 1095, 375);

template<typename Widget>
Widget *createControl(QWidget *parent, const char *name, const QRect &rect, const QString &text)
{
    auto *widget = new Widget(text, parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(rect);
    return widget;
}

QPushButton *createButton(QWidget *parent, const char *name, const QRect &rect, const QString &text)
{
    auto *button = createControl<QPushButton>(parent, name, rect, text);
    // Neither button answers Enter, not even while it has the focus.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QLineEdit *createField(QWidget *parent, const char *name, const QRect &rect, const QString &text)
{
    auto *field = createControl<QLineEdit>(parent, name, rect, text);
    // QLineEdit would cut the text at 32767 characters.
    field->setMaxLength(std::numeric_limits<int>::max());
    return field;
}

bool inRange(std::optional<std::int32_t> value, int lowest, int highest)
{
    return value && *value >= lowest && *value <= highest;
}

} // namespace

FrmCfg::FrmCfg(SerialChannel &channel, PortSettings &settings, QLabel *portLabel, QWidget *parent)
    : QDialog(parent)
    , MSCom(channel)
    , m_settings(settings)
    , Label4(portLabel)
{
    setObjectName(QStringLiteral("frmCfg"));
    setWindowTitle(QStringLiteral("設定変更"));
    setFixedSize(kClientSize);
    createControls();
    setTabOrder();
    load();
    connect(cmdSet, &QPushButton::clicked, this, &FrmCfg::onSetClicked);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmCfg::onCancelClicked);
}

QString FrmCfg::portText() const
{
    return txtPort->text();
}

QString FrmCfg::byteText() const
{
    return txtByte->text();
}

void FrmCfg::createControls()
{
    Label1 = createControl<QLabel>(this, "Label1", kLabel1Rect, QStringLiteral("ポート番号"));
    cmdSet = createButton(this, "cmdSet", kSetRect, QStringLiteral("セット"));
    txtPort = createField(this, "txtPort", kPortRect, QString::number(kInitialPort));
    Label2 = createControl<QLabel>(this, "Label2", kLabel2Rect, QStringLiteral("削除バイト数"));
    txtByte = createField(this, "txtByte", kByteRect, QString::number(kInitialDropCount));
    cmdCancel = createButton(this, "cmdCancel", kCancelRect, QStringLiteral("キャンセル"));
}

void FrmCfg::setTabOrder()
{
    QWidget::setTabOrder(cmdSet, txtPort);
    QWidget::setTabOrder(txtPort, txtByte);
    QWidget::setTabOrder(txtByte, cmdCancel);
    cmdSet->setFocus();
}

void FrmCfg::load()
{
    move(kDialogPosition);
}

void FrmCfg::closePort()
{
    if (!MSCom.portOpen())
        return;
    MSCom.setPortOpen(false);
    emit portClosedBySet();
}

void FrmCfg::onSetClicked()
{
    const std::optional<std::int32_t> port = readInteger<std::int32_t>(txtPort->text());
    const std::optional<std::int32_t> count = readInteger<std::int32_t>(txtByte->text());
    emit setClicked();
    // Closed before anything is checked, so it is closed even when a value is refused.
    closePort();
    if (!inRange(port, kFirstPort, kLastPort)) {
        showMessage(this, messages::portOutOfRange());
        m_settings.nPort = kInitialPort;
        txtPort->setText(QString::number(kInitialPort));
        return;
    }
    if (!inRange(count, 0, kMaxDropCount)) {
        showMessage(this, messages::countOutOfRange());
        m_settings.nByte = kInitialDropCount;
        txtByte->setText(QString::number(kInitialDropCount));
        return;
    }
    MSCom.setCommPort(*port);
    Label4->setText(QString::number(*port));
    Label4->setToolTip(portToolTip(MSCom.devicePath()));
    m_settings.nByte = std::uint8_t(*count);
    hide();
}

void FrmCfg::onCancelClicked()
{
    txtPort->setText(QLatin1Char(' ') + QString::number(m_settings.nPort));
    txtByte->setText(QLatin1Char(' ') + QString::number(m_settings.nByte));
    hide();
}

void FrmCfg::reject()
{
    // Escape is no cancel key here; only Set and Cancel hide the dialog.
}

void FrmCfg::closeEvent(QCloseEvent *event)
{
    // A close from the window frame checks, applies and writes back nothing;
    // whoever runs the dialog throws it away once it has gone.
    m_discarded = true;
    event->accept();
}

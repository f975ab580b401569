// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

struct PortSettings;
class FrmCfg;
class QLabel;
class QWidget;
class SerialChannel;

// Opens the settings dialog from the main window, creating it at first use.
class SettingsLauncher : public QObject
{
    Q_OBJECT

public:
    SettingsLauncher(SerialChannel &MSCom, PortSettings &settings, QLabel *Label4, QWidget *window,
                     QObject *parent = nullptr);

    void open();

signals:
    void portClosedBySet();
    void setClicked();

private:
    SerialChannel &MSCom;
    PortSettings &m_settings;
    QLabel *Label4;
    QWidget *m_window;
    QPointer<FrmCfg> frmCfg;
};

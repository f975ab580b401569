// SPDX-License-Identifier: MIT
#include "settings/settingslauncher.h"

#include "common/portsettings.h"
#include "settings/frmcfg.h"
#include "settings/numberreader.h"

#include <cstdint>

SettingsLauncher::SettingsLauncher(SerialChannel &channel, PortSettings &settings, QLabel *portLabel, QWidget *window,
                                   QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_settings(settings)
    , Label4(portLabel)
    , m_window(window)
{
}

void SettingsLauncher::open()
{
    if (!frmCfg) {
        frmCfg = new FrmCfg(MSCom, m_settings, Label4, m_window);
        connect(frmCfg, &FrmCfg::portClosedBySet, this, &SettingsLauncher::portClosedBySet);
        connect(frmCfg, &FrmCfg::setClicked, this, &SettingsLauncher::setClicked);
    }
    // Whenever the dialog opens its fields hold bytes: the first texts, texts
    // Set accepted, or what Cancel wrote back. Anything else keeps the value.
    m_settings.nPort = readInteger<std::uint8_t>(frmCfg->portText()).value_or(m_settings.nPort);
    m_settings.nByte = readInteger<std::uint8_t>(frmCfg->byteText()).value_or(m_settings.nByte);
    frmCfg->exec();
    if (frmCfg && frmCfg->isDiscarded())
        delete frmCfg;
}

#include "settings/settingslauncher.h"

SettingsLauncher::SettingsLauncher(SerialChannel &channel, PortSettings &settings, QLabel *portLabel,
                                   QPushButton *comOpen, QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_settings(settings)
    , Label4(portLabel)
    , cmdComOpen(comOpen)
    , m_window(window)
{
}

void SettingsLauncher::open()
{
}

#include "download/configdownload.h"

ConfigDownload::ConfigDownload(SerialChannel &channel, const PortSettings &settings, QPushButton *comOpen,
                               QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , m_settings(settings)
    , cmdComOpen(comOpen)
    , m_window(window)
{
}

void ConfigDownload::run()
{
}

#pragma once

#include <QObject>

struct PortSettings;
class QPushButton;
class QWidget;
class SerialChannel;

// Streams a configuration file to the board.
class ConfigDownload : public QObject
{
    Q_OBJECT

public:
    ConfigDownload(SerialChannel &MSCom, const PortSettings &settings, QPushButton *cmdComOpen,
                   QWidget *window, QObject *parent = nullptr);

    void run();

private:
    SerialChannel &MSCom;
    const PortSettings &m_settings;
    QPushButton *cmdComOpen;
    QWidget *m_window;
};

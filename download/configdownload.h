#pragma once

#include "common/messagebox.h"

#include <QObject>
#include <QString>

#include <optional>

struct BlockPlan;
struct PortSettings;
class QPushButton;
class QWidget;
class SerialChannel;

// Streams a configuration file to the board: the click of cmdXactConfig,
// from the port check to the final reset of the port.
class ConfigDownload : public QObject
{
    Q_OBJECT

public:
    ConfigDownload(SerialChannel &MSCom, const PortSettings &settings, QPushButton *cmdComOpen,
                   QWidget *window, QObject *parent = nullptr);

    void run();
    // From the closing of the start message to the end of the final reset;
    // a failure meanwhile is told as the download's own.
    bool isTransferring() const { return m_transferring; }

signals:
    void transferStarted();
    void transferFinished();

private:
    [[nodiscard]] std::optional<Message> reopenPort();
    QString choosePath();
    std::optional<Message> transfer(const QString &path, const BlockPlan &plan);
    std::optional<Message> finalReset();
    qint64 lineBytesPerSecond() const;

    SerialChannel &MSCom;
    const PortSettings &m_settings;
    QPushButton *cmdComOpen;
    QWidget *m_window;
    QString m_lastFolder;
    bool m_transferring = false;
};

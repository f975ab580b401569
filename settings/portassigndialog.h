// SPDX-License-Identifier: MIT
#pragma once

#include "serial/portinventory.h"

#include <QDialog>
#include <QTimer>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "ポートの割り当て": which device each port number reaches, the devices no
// number reaches yet, and the links between them. It follows devices being
// plugged in and out while shown; it never touches an open port.
class PortAssignDialog : public QDialog
{
    Q_OBJECT

public:
    PortAssignDialog(int currentPort, const InventorySources &sources, QWidget *parent = nullptr);

signals:
    // A link of port was written or removed.
    void assigned(int port);

private:
    void createControls();
    void refresh();
    void fillPorts();
    void fillDevices();
    void updateButtons();
    void onAssignClicked();
    void onReleaseClicked();
    int selectedPort() const;
    // The address typed, when it is one; empty otherwise.
    QString chosenAddress() const;

    PortInventory m_inventory;
    int m_currentPort;
    QList<PortLink> m_links;
    QList<SerialDevice> m_unassigned;
    QTimer m_poll;

    QTreeWidget *lstPorts = nullptr;
    QTreeWidget *lstDevices = nullptr;
    QLineEdit *txtAddress = nullptr;
    QPushButton *cmdAssign = nullptr;
    QPushButton *cmdRelease = nullptr;
    QPushButton *cmdClose = nullptr;
};

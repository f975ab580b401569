// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAction;
class QLabel;
class QPoint;
class QWidget;
class SerialChannel;

// Leads the operator to the port assignment dialog: from the port label's
// context menu and from the box of a failed open, which also names the
// devices found elsewhere. Keeps the label's tooltip naming the device.
class PortAssignLauncher : public QObject
{
    Q_OBJECT

public:
    PortAssignLauncher(SerialChannel &MSCom, QLabel *Label4, QWidget *window, QObject *parent = nullptr);

    void open();
    void showMenu(const QPoint &globalPosition);
    // Offered in the menu below the assignment item.
    void setMenuActions(const QList<QAction *> &actions) { m_menuActions = actions; }
    // Tells why the port did not open, after a failed open of MSCom.
    void tellOpenFailure();

signals:
    // The dialog changed what the port's number leads to.
    void assignmentChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onAssigned(int port);

    SerialChannel &MSCom;
    QLabel *Label4;
    QWidget *m_window;
    QList<QAction *> m_menuActions;
};

// The device path, with the description and serial number when the
// inventory knows them.
QString portToolTip(const QString &devicePath);

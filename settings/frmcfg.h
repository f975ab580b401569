// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

struct PortSettings;
class QLabel;
class QLineEdit;
class QPushButton;
class SerialChannel;

// The settings dialog: port number and drop count, checked and applied by Set, written back by Cancel.
class FrmCfg : public QDialog
{
    Q_OBJECT

public:
    FrmCfg(SerialChannel &MSCom, PortSettings &settings, QLabel *Label4, QWidget *parent);

    QString portText() const;
    QString byteText() const;
    // Set once a close from the window frame has thrown the dialog away.
    bool isDiscarded() const { return m_discarded; }

signals:
    // Set closed the open port; the main window's caption tells it its own way.
    void portClosedBySet();
    // Set was clicked, whatever it then accepted.
    void setClicked();

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void load();
    void closePort();

    void onSetClicked();
    void onCancelClicked();

    SerialChannel &MSCom;
    PortSettings &m_settings;
    QLabel *Label4;
    bool m_discarded = false;

    QLabel *Label1 = nullptr;
    QPushButton *cmdSet = nullptr;
    QLineEdit *txtPort = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtByte = nullptr;
    QPushButton *cmdCancel = nullptr;
};

// SPDX-License-Identifier: MIT
#include "settings/portassigndialog.h"

#include "common/messagebox.h"
#include "common/porttexts.h"
#include "serial/networkaddress.h"
#include "serial/portassignment.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <chrono>

namespace {

// Plugging a device in shows within about a second.
constexpr std::chrono::milliseconds kPollInterval{500};

QTreeWidget *createList(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setHeaderLabels(headers);
    list->header()->setStretchLastSection(true);
    // Stable names are long; the name column shows them whole.
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    return list;
}

QPushButton *createButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

PortAssignDialog::PortAssignDialog(int currentPort, const InventorySources &sources, QWidget *parent)
    : QDialog(parent)
    , m_inventory(sources)
    , m_currentPort(currentPort)
{
    setObjectName(QStringLiteral("frmPortAssign"));
    setWindowTitle(porttexts::dialogTitle());
    setModal(true);
    createControls();
    refresh();
    connect(&m_poll, &QTimer::timeout, this, &PortAssignDialog::refresh);
    m_poll.start(kPollInterval);
}

void PortAssignDialog::createControls()
{
    lstPorts = createList(this, "lstPorts", porttexts::portHeaders());
    for (int port = PortInventory::kFirstPort; port <= PortInventory::kLastPort; ++port)
        lstPorts->addTopLevelItem(new QTreeWidgetItem({porttexts::portNumber(port, port == m_currentPort)}));
    lstPorts->setCurrentItem(lstPorts->topLevelItem(m_currentPort - PortInventory::kFirstPort));
    lstDevices = createList(this, "lstDevices", porttexts::deviceHeaders());
    txtAddress = new QLineEdit(this);
    txtAddress->setObjectName(QStringLiteral("txtAddress"));
    txtAddress->setPlaceholderText(QStringLiteral("rfc2217://rack3:7001"));
    cmdAssign = createButton(this, "cmdAssign", porttexts::assignButton());
    cmdRelease = createButton(this, "cmdRelease", porttexts::releaseButton());
    cmdClose = createButton(this, "cmdClose", porttexts::closeButton());

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdAssign);
    buttons->addWidget(cmdRelease);
    buttons->addWidget(cmdClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(porttexts::portsCaption(), this));
    layout->addWidget(lstPorts, 3);
    layout->addWidget(new QLabel(porttexts::devicesCaption(), this));
    layout->addWidget(lstDevices, 1);
    layout->addWidget(new QLabel(porttexts::addressCaption(), this));
    layout->addWidget(txtAddress);
    layout->addLayout(buttons);
    resize(760, 560);

    connect(lstPorts, &QTreeWidget::currentItemChanged, this, &PortAssignDialog::updateButtons);
    connect(lstDevices, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        // One thing to assign at a time: a device chosen leaves the address.
        if (current)
            txtAddress->clear();
        updateButtons();
    });
    connect(txtAddress, &QLineEdit::textEdited, this, [this] {
        lstDevices->setCurrentItem(nullptr);
        updateButtons();
    });
    connect(cmdAssign, &QPushButton::clicked, this, &PortAssignDialog::onAssignClicked);
    connect(cmdRelease, &QPushButton::clicked, this, &PortAssignDialog::onReleaseClicked);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

void PortAssignDialog::refresh()
{
    const QList<PortLink> links = m_inventory.portLinks();
    QList<SerialDevice> unassigned = m_inventory.devices();
    unassigned.removeIf([](const SerialDevice &device) { return !device.present || !device.ports.isEmpty(); });
    // Rebuilt only on a change, so a poll never disturbs the operator's choice.
    if (links != m_links) {
        m_links = links;
        fillPorts();
    }
    if (unassigned != m_unassigned) {
        m_unassigned = unassigned;
        fillDevices();
    }
    updateButtons();
}

void PortAssignDialog::fillPorts()
{
    for (const PortLink &link : std::as_const(m_links)) {
        QTreeWidgetItem *row = lstPorts->topLevelItem(link.port - PortInventory::kFirstPort);
        row->setText(1, porttexts::portTarget(link.target, link.node, link.linked, link.present));
    }
}

void PortAssignDialog::fillDevices()
{
    const QString chosen = lstDevices->currentItem() ? lstDevices->currentItem()->text(0) : QString();
    lstDevices->clear();
    for (const SerialDevice &device : std::as_const(m_unassigned)) {
        auto *row = new QTreeWidgetItem({device.name(), device.description, device.serialNumber});
        row->setToolTip(0, deviceLine(device));
        lstDevices->addTopLevelItem(row);
        if (device.name() == chosen)
            lstDevices->setCurrentItem(row);
    }
}

void PortAssignDialog::updateButtons()
{
    const int port = selectedPort();
    cmdAssign->setEnabled(port != 0 && (lstDevices->currentItem() || !chosenAddress().isEmpty()));
    cmdRelease->setEnabled(port != 0 && m_links.value(port - PortInventory::kFirstPort).linked);
}

void PortAssignDialog::onAssignClicked()
{
    const int port = selectedPort();
    const int device = lstDevices->indexOfTopLevelItem(lstDevices->currentItem());
    const QString address = chosenAddress();
    if (port == 0 || (device < 0 && address.isEmpty()))
        return;
    const QString target = device >= 0 ? m_unassigned.at(device).name() : address;
    PortAssignment assignment(m_inventory.sources().portDir);
    if (!assignment.assign(port, target))
        showMessage(this, messages::cannotAssignPort(port, target, assignment.errorString()));
    else {
        if (device < 0)
            txtAddress->clear();
        emit assigned(port);
    }
    refresh();
}

void PortAssignDialog::onReleaseClicked()
{
    const int port = selectedPort();
    PortAssignment assignment(m_inventory.sources().portDir);
    if (port != 0 && !assignment.release(port))
        showMessage(this, messages::cannotReleasePort(port, assignment.errorString()));
    else if (port != 0)
        emit assigned(port);
    refresh();
}

QString PortAssignDialog::chosenAddress() const
{
    const QString text = txtAddress->text().trimmed();
    return NetworkAddress::parse(text) ? text : QString();
}

int PortAssignDialog::selectedPort() const
{
    const int row = lstPorts->indexOfTopLevelItem(lstPorts->currentItem());
    return row < 0 ? 0 : PortInventory::kFirstPort + row;
}

// SPDX-License-Identifier: MIT
#include "transmit/macrosend.h"

#include "common/messagebox.h"
#include "serial/serialchannel.h"
#include "transmit/macrodialog.h"
#include "transmit/macrokeys.h"

#include <QLineEdit>
#include <QMenu>
#include <QtDebug>

#include <memory>

MacroSend::MacroSend(SerialChannel &channel, QLineEdit *text, QWidget *window, QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , txtAscSnd(text)
    , m_window(window)
    , m_keys(new MacroKeys(window, this))
{
    // An unreadable file leaves every slot empty; the dialog's OK replaces it.
    if (!m_macros.load(SendMacros::defaultPath()))
        qWarning("send macros %s ignored: %s", qPrintable(SendMacros::defaultPath()),
                 qPrintable(m_macros.errorString()));
    txtAscSnd->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(txtAscSnd, &QWidget::customContextMenuRequested, this, &MacroSend::showTextMenu);
    connect(m_keys, &MacroKeys::slotPressed, this, &MacroSend::send);
}

void MacroSend::send(int slot)
{
    const std::optional<QByteArray> bytes = SendMacros::bytes(m_macros.at(slot));
    if (!bytes)
        return;
    if (!MSCom.portOpen()) {
        showMessage(m_window, messages::portNotOpen());
        return;
    }
    MSCom.output(*bytes);
}

void MacroSend::edit()
{
    MacroDialog dialog(m_macros, m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_macros = dialog.macros();
    if (!m_macros.save(SendMacros::defaultPath()))
        showMessage(m_window, messages::cannotSave(SendMacros::defaultPath(), m_macros.errorString()));
}

void MacroSend::showTextMenu(const QPoint &position)
{
    // Qt's own edit items, made afresh for each menu, then the macros.
    const std::unique_ptr<QMenu> menu(txtAscSnd->createStandardContextMenu());
    menu->setObjectName(QStringLiteral("textMenu"));
    menu->addSeparator();
    addSubmenu(*menu);
    menu->exec(txtAscSnd->mapToGlobal(position));
}

void MacroSend::addSubmenu(QMenu &menu)
{
    QMenu *macros = menu.addMenu(QStringLiteral("送信マクロ"));
    macros->setObjectName(QStringLiteral("macroMenu"));
    for (int slot = 0; slot < SendMacros::kSlots; ++slot) {
        const SendMacro &macro = m_macros.at(slot);
        if (!macro.isUsed())
            continue;
        QString caption = macro.name.isEmpty() ? macro.content : macro.name;
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        // The key is shown in the shortcut column without being a second shortcut.
        macros->addAction(QStringLiteral("%1: %2\t%3").arg(slot + 1).arg(caption, MacroKeys::keyText(slot)), this,
                          [this, slot] { send(slot); });
    }
    macros->addSeparator();
    macros->addAction(QStringLiteral("編集..."), this, &MacroSend::edit);
}

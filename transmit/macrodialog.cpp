// SPDX-License-Identifier: MIT
#include "transmit/macrodialog.h"

#include "common/messagebox.h"
#include "capture/hexpattern.h"
#include "serial/sendescapes.h"
#include "transmit/macrokeys.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

MacroDialog::MacroDialog(const SendMacros &macros, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("macroDialog"));
    setWindowTitle(QStringLiteral("送信マクロ"));
    auto *grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("名前")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("種類")), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("内容 (\\r \\n \\t \\\\ \\xNN)")), 0, 3);
    for (int slot = 0; slot < SendMacros::kSlots; ++slot) {
        const SendMacro &macro = macros.at(slot);
        Row &row = m_rows[slot];
        row.name = new QLineEdit(macro.name);
        row.name->setObjectName(QStringLiteral("macroName%1").arg(slot + 1));
        row.kind = new QComboBox;
        row.kind->setObjectName(QStringLiteral("macroKind%1").arg(slot + 1));
        row.kind->addItems({QStringLiteral("テキスト"), QStringLiteral("16進")});
        row.kind->setCurrentIndex(macro.kind == SendMacro::Kind::Hex ? 1 : 0);
        row.content = new QLineEdit(macro.content);
        row.content->setObjectName(QStringLiteral("macroContent%1").arg(slot + 1));
        row.content->setMinimumWidth(320);
        grid->addWidget(new QLabel(MacroKeys::keyText(slot)), slot + 1, 0);
        grid->addWidget(row.name, slot + 1, 1);
        grid->addWidget(row.kind, slot + 1, 2);
        grid->addWidget(row.content, slot + 1, 3);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &MacroDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MacroDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

SendMacros MacroDialog::macros() const
{
    SendMacros macros;
    for (int slot = 0; slot < SendMacros::kSlots; ++slot) {
        const Row &row = m_rows[slot];
        macros.set(slot, {row.name->text().trimmed(),
                          row.kind->currentIndex() == 1 ? SendMacro::Kind::Hex : SendMacro::Kind::Text,
                          row.content->text()});
    }
    return macros;
}

void MacroDialog::accept()
{
    QWidget *field = nullptr;
    const QString reason = refusal(&field);
    if (reason.isEmpty()) {
        QDialog::accept();
        return;
    }
    showMessage(this, messages::macroRefused(reason));
    field->setFocus();
}

QString MacroDialog::refusal(QWidget **field) const
{
    const SendMacros kept = macros();
    for (int slot = 0; slot < SendMacros::kSlots; ++slot) {
        const SendMacro &macro = kept.at(slot);
        *field = m_rows[slot].content;
        if (!macro.name.isEmpty() && !macro.isUsed())
            return QStringLiteral("マクロ %1: 内容がありません").arg(slot + 1);
        if (const QString reason = contentRefusal(slot); !reason.isEmpty())
            return reason;
        *field = m_rows[slot].name;
        for (int other = 0; other < slot; ++other) {
            if (!macro.name.isEmpty() && kept.at(other).name == macro.name)
                return QStringLiteral("マクロ %1: 名前「%2」はマクロ %3 と同じです")
                    .arg(slot + 1)
                    .arg(macro.name)
                    .arg(other + 1);
        }
    }
    return {};
}

QString MacroDialog::contentRefusal(int slot) const
{
    const QString content = m_rows[slot].content->text();
    if (content.isEmpty())
        return {};
    if (m_rows[slot].kind->currentIndex() == 1) {
        const int column = hexpattern::parse(content).refusedColumn;
        if (column == 0)
            return {};
        const QString run = content.mid(column - 1).section(QLatin1Char(' '), 0, 0);
        return QStringLiteral("マクロ %1: %2 文字目の「%3」は16進のバイトではありません (2桁ずつ、または1桁)")
            .arg(slot + 1)
            .arg(column)
            .arg(run);
    }
    const int column = sendescapes::parse(content).refusedColumn;
    if (column == 0)
        return {};
    return QStringLiteral("マクロ %1: %2 文字目の「%3」は使えません (\\r \\n \\t \\\\ \\xNN のみ)")
        .arg(slot + 1)
        .arg(column)
        .arg(sendescapes::refusedSequence(content, column));
}

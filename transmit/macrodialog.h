// SPDX-License-Identifier: MIT
#pragma once

#include "serial/sendmacros.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLineEdit;

// "送信マクロ": the twelve slots' names, kinds and contents. OK keeps them
// only when every slot can be sent; otherwise it says which and stays open.
class MacroDialog : public QDialog
{
    Q_OBJECT

public:
    MacroDialog(const SendMacros &macros, QWidget *parent = nullptr);

    SendMacros macros() const;

    void accept() override;

private:
    struct Row
    {
        QLineEdit *name;
        QComboBox *kind;
        QLineEdit *content;
    };

    // Why the slots cannot be kept, and the field to mend; "" when they can.
    QString refusal(QWidget **field) const;
    QString contentRefusal(int slot) const;

    std::array<Row, SendMacros::kSlots> m_rows{};
};

// SPDX-License-Identifier: MIT
#include "transmit/hexbytebox.h"

#include "transmit/hexbytetext.h"

HexByteBox::HexByteBox(QWidget *parent)
    : QLineEdit(parent)
{
    // QLineEdit inserts only what fits, typed or pasted: 12345 leaves 12.
    setMaxLength(2);
    // textChanged rather than textEdited: the program's own writes are checked too.
    connect(this, &QLineEdit::textChanged, this, &HexByteBox::onTextChanged);
}

quint8 HexByteBox::byteValue() const
{
    return hexByteValue(text());
}

void HexByteBox::onTextChanged(const QString &text)
{
    const QString checked = checkHexByteText(text);
    if (checked == text)
        return;
    // Raises textChanged again; that nested check finds a valid text and returns.
    setText(checked);
    // At the end, so that the next digit typed follows this one.
    setCursorPosition(int(checked.size()));
}

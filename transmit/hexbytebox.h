// SPDX-License-Identifier: MIT
#pragma once

#include <QLineEdit>

// One field of the byte row: at most two hexadecimal digits, upper case;
// any other character empties it.
class HexByteBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit HexByteBox(QWidget *parent = nullptr);

    quint8 byteValue() const;

private:
    void onTextChanged(const QString &text);
};

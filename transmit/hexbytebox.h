#pragma once

#include <QLineEdit>

// One field of the byte row: at most two hexadecimal digits.
class HexByteBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit HexByteBox(QWidget *parent = nullptr);
};

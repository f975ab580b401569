#include "transmit/hexbytebox.h"

HexByteBox::HexByteBox(QWidget *parent)
    : QLineEdit(parent)
{
    setMaxLength(2);
}

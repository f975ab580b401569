#include "transmit/textsend.h"

TextSend::TextSend(SerialChannel &channel, QLineEdit *text, QCheckBox *crLf, QWidget *window,
                   QObject *parent)
    : QObject(parent)
    , MSCom(channel)
    , txtAscSnd(text)
    , chkCrLf(crLf)
    , m_window(window)
{
}

void TextSend::send()
{
}

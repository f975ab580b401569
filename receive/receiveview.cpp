#include "receive/receiveview.h"

#include <QPalette>

ReceiveView::ReceiveView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

#pragma once

#include <QAbstractScrollArea>

// The receive area: everything received since the last tab click.
class ReceiveView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ReceiveView(QWidget *parent = nullptr);
};

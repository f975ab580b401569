// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

// Keeps the mouse wheel from reaching a widget: a tab bar switches tabs on
// a wheel turn, and switching tabs empties the receive box.
class WheelBlocker : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

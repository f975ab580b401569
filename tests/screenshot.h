// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Grabs a window as it is painted, saves the picture under
// TOLVANE_SCREENSHOT_DIR for a person to look at, and returns the named
// controls that the picture shows wrongly: cut by the window's edge, or
// painted in one flat colour (nothing drawn). Empty when all look right.
QStringList misdrawnControls(QWidget *window, const QString &fileName);

// SPDX-License-Identifier: MIT
#include "common/menuaccessibility.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>

void keepMenuItemsAccessible(QMenu *menu)
{
    // The next query makes a new item that belongs to this menu. Only an
    // item cached already is returned here: no factory makes one for an action.
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
        for (QAction *action : menu->actions()) {
            if (QAccessibleInterface *item = QAccessible::queryAccessibleInterface(action))
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
        }
    });
}

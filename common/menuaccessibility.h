// SPDX-License-Identifier: MIT
#pragma once

class QMenu;

// A menu built afresh each time may show actions that live on: Qt keeps an
// action's accessible item with the menu that first asked for it, and once
// that menu is gone the item reads as invalid, so a screen reader would
// skip the action. Call before the menu is shown.
void keepMenuItemsAccessible(QMenu *menu);

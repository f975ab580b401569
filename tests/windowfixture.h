// SPDX-License-Identifier: MIT
#pragma once

#include "app/frmmain.h"
#include "modalanswerer.h"
#include "ptypair.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

class FrmCfg;
class QPushButton;

// The main window wired to a board: a pseudo-terminal linked as COM3 in a
// temporary port dir, its master side drained by a reader, and the modal
// boxes answered as an operator would.
class WindowFixture
{
public:
    // From a suite's init(): QVERIFY(fixture.setUp()).
    [[nodiscard]] bool setUp();
    void tearDown();

    // A control of the main window itself: the settings dialog, once it
    // exists, is a child too and has a cmdSet, Label1 and Label2 of its own.
    template<typename Widget = QWidget>
    Widget *control(const char *name) const
    {
        return window->findChild<Widget *>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    }
    void click(const char *name) const;
    // Clicks cmdComOpen; true when the port is open afterwards.
    [[nodiscard]] bool openPort() const;
    // The board goes away: reading stops and the master side is closed.
    void unplugBoard();
    // A new board under the same com link.
    void plugInBoard();
    // A board whose adapter udev names under serial/by-id, with com3 linked
    // to that name as an assignment makes it; returns the by-id link.
    QString plugInByIdBoard();
    // The adapter goes: its by-id link, then its node.
    void unplugByIdBoard();
    // Opens target's context menu and clicks the enabled item of that text;
    // false when there was none.
    [[nodiscard]] bool chooseFromContextMenu(QWidget *target, const QString &item) const;
    // Clicks the main window's cmdSet and runs the steps while the settings
    // dialog is shown modally; the steps must end by hiding or closing it.
    void operateSettings(const std::function<void(FrmCfg &)> &steps);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<PtyReader> reader;
    std::unique_ptr<FrmMain> window;
    std::unique_ptr<ModalAnswerer> answerer;
};

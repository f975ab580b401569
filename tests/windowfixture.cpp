// SPDX-License-Identifier: MIT
#include "windowfixture.h"

#include "serial/serialchannel.h"
#include "settings/frmcfg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

bool WindowFixture::setUp()
{
    dir = std::make_unique<QTemporaryDir>();
    qputenv("TOLVANE_PORT_DIR", dir->path().toLocal8Bit());
    // The devices a window sees are the test's own, whatever the machine has.
    qputenv("TOLVANE_SERIAL_DIR", dir->filePath(QStringLiteral("serial")).toLocal8Bit());
    qputenv("TOLVANE_SYSTEM_PORTS", "0");
    // What the window keeps between starts stays in the test's folder.
    qputenv("XDG_CONFIG_HOME", dir->filePath(QStringLiteral("config")).toLocal8Bit());
    plugInBoard();
    window = std::make_unique<FrmMain>();
    window->show();
    answerer = std::make_unique<ModalAnswerer>();
    return pty->isValid() && QTest::qWaitForWindowExposed(window.get());
}

void WindowFixture::tearDown()
{
    answerer.reset();
    window.reset();
    reader.reset();
    pty.reset();
    dir.reset();
}

void WindowFixture::click(const char *name) const
{
    QTest::mouseClick(control<QPushButton>(name), Qt::LeftButton);
}

bool WindowFixture::openPort() const
{
    click("cmdComOpen");
    return window->channel().portOpen();
}

void WindowFixture::unplugBoard()
{
    reader.reset();
    pty->closeMaster();
}

void WindowFixture::plugInBoard()
{
    reader.reset();
    pty = std::make_unique<PtyPair>(dir->path(), 3);
    reader = std::make_unique<PtyReader>(pty->masterFd());
}

QString WindowFixture::plugInByIdBoard()
{
    reader.reset();
    pty = std::make_unique<PtyPair>(dir->filePath(QStringLiteral("scratch")), 1);
    reader = std::make_unique<PtyReader>(pty->masterFd());
    const QString byId = dir->filePath(QStringLiteral("serial/by-id/usb-Tolvane_T100_42-if00-port0"));
    const QString com3 = dir->filePath(QStringLiteral("com3"));
    QDir().mkpath(QFileInfo(byId).path());
    QFile::remove(byId);
    QFile::link(pty->slavePath(), byId);
    if (QFile::symLinkTarget(com3) != byId) {
        QFile::remove(com3);
        QFile::link(byId, com3);
    }
    return byId;
}

void WindowFixture::unplugByIdBoard()
{
    QFile::remove(dir->filePath(QStringLiteral("serial/by-id/usb-Tolvane_T100_42-if00-port0")));
    reader.reset();
    pty.reset();
}

bool WindowFixture::chooseFromContextMenu(QWidget *target, const QString &item) const
{
    bool found = false;
    QTimer::singleShot(50, target, [&found, item] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        for (QAction *action : menu ? menu->actions() : QList<QAction *>()) {
            if (action->text() == item && action->isEnabled()) {
                found = true;
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return;
            }
        }
        if (menu)
            menu->close();
    });
    const QPoint inside(4, 4);
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, target->mapToGlobal(inside));
    QApplication::sendEvent(target, &event);
    return found;
}

void WindowFixture::operateSettings(const std::function<void(FrmCfg &)> &steps)
{
    bool started = false;
    bool leftShown = false;
    answerer->otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<FrmCfg *>(modal);
        if (!dialog || started)
            return false;
        started = true;
        // Run from the event loop, not from the answerer's own timer, so that
        // the answerer can close the message boxes the steps provoke.
        QTimer::singleShot(0, dialog, [&, dialog] {
            steps(*dialog);
            leftShown = dialog->isVisible();
            dialog->hide();
        });
        return true;
    };
    click("cmdSet");
    answerer->otherModal = nullptr;
    QVERIFY2(started, "the dialog was not shown modally");
    QVERIFY2(!leftShown, "the steps left the dialog shown");
}

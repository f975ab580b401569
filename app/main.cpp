// SPDX-License-Identifier: MIT
#include "app/frmmain.h"
#include "capture/interruptwatch.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Wayland matches the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tolvane.Tolvane"));
    FrmMain frmMain;
    InterruptWatch watch;
    QObject::connect(&watch, &InterruptWatch::interrupted, &frmMain, &FrmMain::closeBySignal);
    frmMain.show();
    const int status = app.exec();
    return watch.wasInterrupted() ? watch.exitStatus() : status;
}

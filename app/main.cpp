#include "app/frmmain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FrmMain frmMain;
    frmMain.show();
    return app.exec();
}

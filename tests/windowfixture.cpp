#include "windowfixture.h"

#include "serial/serialchannel.h"

#include <QPushButton>
#include <QTest>

bool WindowFixture::setUp()
{
    dir = std::make_unique<QTemporaryDir>();
    qputenv("TOLVANE_PORT_DIR", dir->path().toLocal8Bit());
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

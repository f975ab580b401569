// SPDX-License-Identifier: MIT
#include "screenshot.h"

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace {

bool isFlat(const QImage &image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != first)
                return false;
        }
    }
    return true;
}

} // namespace

QStringList misdrawnControls(QWidget *window, const QString &fileName)
{
    const QImage image = window->grab().toImage();
    const QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(dir);
    image.save(QDir(dir).filePath(fileName));

    QStringList wrong;
    const qreal ratio = image.devicePixelRatio();
    for (QWidget *control : window->findChildren<QWidget *>()) {
        const QString name = control->objectName();
        // Qt's own parts (viewports, scroll bars) are drawn by their owners.
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")) || !control->isVisibleTo(window)
            || control->isWindow() || control->size().isEmpty())
            continue;
        const QRect area(control->mapTo(window, QPoint(0, 0)), control->size());
        if (!window->rect().contains(area))
            wrong << name + QStringLiteral(" (cut by the edge)");
        else if (isFlat(image.copy(QRectF(area.topLeft() * ratio, area.size() * ratio).toRect())))
            wrong << name + QStringLiteral(" (nothing drawn)");
    }
    return wrong;
}

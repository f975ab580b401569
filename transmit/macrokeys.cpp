// SPDX-License-Identifier: MIT
#include "transmit/macrokeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

constexpr Qt::Key kKeys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5,     Qt::Key_6,
                             Qt::Key_7, Qt::Key_8, Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal};

} // namespace

MacroKeys::MacroKeys(QWidget *window, QObject *parent)
    : QObject(parent)
    , m_window(window)
{
    // A QShortcut loses to a field that claims the key in ShortcutOverride,
    // and some fields (the hex byte boxes) judge typing before any shortcut;
    // an application filter sees the key before both.
    qApp->installEventFilter(this);
}

QString MacroKeys::keyText(int slot)
{
    return QStringLiteral("Alt+") + QChar(char16_t(kKeys[slot]));
}

int MacroKeys::slotOf(const QKeyEvent &key)
{
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    // On a JIS keyboard "=" is Shift+"-", and "^" sits where "=" does on others.
    const bool shiftedTwelfth = key.key() == Qt::Key_Equal || key.key() == Qt::Key_AsciiCircum;
    if (modifiers != Qt::AltModifier && !(shiftedTwelfth && modifiers == (Qt::AltModifier | Qt::ShiftModifier)))
        return -1;
    if (key.key() == Qt::Key_AsciiCircum)
        return 11;
    for (int slot = 0; slot < int(std::size(kKeys)); ++slot) {
        if (key.key() == kKeys[slot])
            return slot;
    }
    return -1;
}

bool MacroKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const int slot = slotOf(*key);
    if (slot < 0)
        return false;
    // Claimed in ShortcutOverride so that no shortcut takes it; acted on as the key press.
    key->accept();
    if (event->type() == QEvent::KeyPress && !key->isAutoRepeat())
        emit slotPressed(slot);
    return true;
}

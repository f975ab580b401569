// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

// Alt+1 … Alt+9, Alt+0, Alt+- and Alt+= (also Alt+^, the same key on a JIS
// keyboard) anywhere in one window: each asks for its send slot before the
// focused field can take the key as typing.
class MacroKeys : public QObject
{
    Q_OBJECT

public:
    explicit MacroKeys(QWidget *window, QObject *parent = nullptr);

    // "Alt+1" for slot 0.
    static QString keyText(int slot);
    // The slot a key press asks for; -1 when none.
    static int slotOf(const QKeyEvent &key);

signals:
    void slotPressed(int slot);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
};

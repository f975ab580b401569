// SPDX-License-Identifier: MIT
#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    m_timer.start(5);
}

QStringList ModalAnswerer::texts() const
{
    QStringList result;
    for (const Seen &seen : messages)
        result.append(seen.text);
    return result;
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (!box->property("seen").toBool()) {
            box->setProperty("seen", true);
            messages.append({box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())});
            if (onMessage)
                onMessage(box);
        }
        if (box->property("answered").toBool() || (holdWhile && holdWhile()))
            return;
        box->setProperty("answered", true);
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
        return;
    }
    if (otherModal)
        otherModal(modal);
}

std::function<bool(QWidget *)> chooseFile(const QString &path)
{
    return [path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return false;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept(); // QFileDialog hides its override
        }
        return true;
    };
}

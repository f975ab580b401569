// SPDX-License-Identifier: MIT
#include "transmit/lineendchoice.h"

#include "serial/configfile.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QMenu>
#include <QSettings>
#include <QtDebug>

namespace {

struct Choice
{
    LineEndChoice::LineEnd lineEnd;
    const char *name;
    const char *characters;
};

constexpr Choice kChoices[] = {
    {LineEndChoice::LineEnd::CrLf, "CR LF", "\r\n"},
    {LineEndChoice::LineEnd::Cr, "CR", "\r"},
    {LineEndChoice::LineEnd::Lf, "LF", "\n"},
};

const Choice &choiceOf(LineEndChoice::LineEnd lineEnd)
{
    for (const Choice &choice : kChoices) {
        if (choice.lineEnd == lineEnd)
            return choice;
    }
    return kChoices[0];
}

const QString kKey = QStringLiteral("send/lineEnd");

QSettings settingsFile()
{
    return QSettings(configfile::path(QStringLiteral("tolvane.conf")), QSettings::IniFormat);
}

} // namespace

LineEndChoice::LineEndChoice(QCheckBox *crLf, QObject *parent)
    : QObject(parent)
    , chkCrLf(crLf)
{
    const QString saved = settingsFile().value(kKey).toString();
    for (const Choice &choice : kChoices) {
        if (saved == QLatin1String(choice.name))
            m_lineEnd = choice.lineEnd;
    }
    chkCrLf->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(chkCrLf, &QWidget::customContextMenuRequested, this, &LineEndChoice::showMenu);
    showToolTip();
}

QString LineEndChoice::characters() const
{
    return QLatin1String(choiceOf(m_lineEnd).characters);
}

void LineEndChoice::showMenu(const QPoint &position)
{
    // Made afresh each time, so that its items always belong to the menu shown.
    QMenu menu(chkCrLf);
    menu.setObjectName(QStringLiteral("lineEndMenu"));
    auto *group = new QActionGroup(&menu);
    for (const Choice &choice : kChoices) {
        QAction *action = menu.addAction(QLatin1String(choice.name));
        action->setCheckable(true);
        action->setChecked(choice.lineEnd == m_lineEnd);
        action->setData(int(choice.lineEnd));
        group->addAction(action);
    }
    if (QAction *chosen = menu.exec(chkCrLf->mapToGlobal(position)))
        choose(LineEnd(chosen->data().toInt()));
}

void LineEndChoice::choose(LineEnd lineEnd)
{
    m_lineEnd = lineEnd;
    QSettings settings = settingsFile();
    settings.setValue(kKey, QLatin1String(choiceOf(lineEnd).name));
    // The choice holds for this session even when it cannot be kept.
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning("line end not saved in %s", qPrintable(settings.fileName()));
    showToolTip();
}

void LineEndChoice::showToolTip()
{
    chkCrLf->setToolTip(QStringLiteral("付加する改行コード: %1").arg(QLatin1String(choiceOf(m_lineEnd).name)));
}

// SPDX-License-Identifier: MIT
#include "serial/sendhistory.h"

#include "serial/configfile.h"

#include <QJsonArray>
#include <QJsonDocument>

void SendHistory::setLines(const QStringList &lines)
{
    m_lines.clear();
    m_position = -1;
    for (const QString &line : lines)
        add(line);
}

void SendHistory::add(const QString &line)
{
    m_position = -1;
    if (line.isEmpty())
        return;
    m_lines.removeAll(line);
    m_lines.append(line);
    if (m_lines.size() > kLimit)
        m_lines.remove(0, m_lines.size() - kLimit);
}

std::optional<QString> SendHistory::older(const QString &shown)
{
    if (m_position < 0) {
        if (m_lines.isEmpty())
            return std::nullopt;
        m_draft = shown;
        m_position = m_lines.size() - 1;
        return m_lines[m_position];
    }
    if (m_position == 0)
        return std::nullopt;
    return m_lines[--m_position];
}

std::optional<QString> SendHistory::newer()
{
    if (m_position < 0)
        return std::nullopt;
    if (++m_position < m_lines.size())
        return m_lines[m_position];
    m_position = -1;
    return m_draft;
}

bool SendHistory::load(const QString &path)
{
    m_lines.clear();
    m_position = -1;
    const std::optional<QJsonArray> list = configfile::readList(path, QStringLiteral("lines"), &m_errorString);
    if (!list)
        return false;
    QStringList lines;
    for (const QJsonValue &value : *list) {
        if (!value.isString()) {
            m_errorString = QStringLiteral("not a list of lines");
            return false;
        }
        lines.append(value.toString());
    }
    setLines(lines);
    return true;
}

bool SendHistory::save(const QString &path)
{
    const QJsonDocument document(QJsonArray::fromStringList(m_lines));
    return configfile::write(path, document.toJson(), &m_errorString);
}

QString SendHistory::defaultPath()
{
    return configfile::path(QStringLiteral("send-history.json"));
}

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The lines sent from the text line, oldest first, and the walk through them
// that Up and Down make: the walk starts at the newest line and, past it,
// gives back what the field held before the walk began.
class SendHistory
{
public:
    static constexpr qsizetype kLimit = 100;

    const QStringList &lines() const { return m_lines; }
    // Keeps the last kLimit distinct non-empty lines, the newest copy of each.
    void setLines(const QStringList &lines);
    // An empty line is not kept; a repeated one moves to newest. Ends the walk.
    void add(const QString &line);

    // What Up shows: the next older line, nothing at the oldest or with no
    // lines. shown is what the field holds, kept when the walk begins.
    std::optional<QString> older(const QString &shown);
    // What Down shows: the next newer line, or past the newest the kept
    // field text; nothing when no walk is under way.
    std::optional<QString> newer();

    // Reads the file; false when it cannot be read or is not a history,
    // with no lines then, so that the next save replaces it.
    [[nodiscard]] bool load(const QString &path);
    [[nodiscard]] bool save(const QString &path);
    QString errorString() const { return m_errorString; }
    static QString defaultPath();

private:
    QStringList m_lines;
    // Index of the line shown by the walk; -1 when no walk is under way.
    qsizetype m_position = -1;
    QString m_draft;
    QString m_errorString;
};

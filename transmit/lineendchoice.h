// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QCheckBox;

// What "改行コード付加" adds: CR LF, CR or LF, chosen from the check box's
// context menu, named in its tooltip and kept across starts.
class LineEndChoice : public QObject
{
    Q_OBJECT

public:
    enum class LineEnd { CrLf, Cr, Lf };

    LineEndChoice(QCheckBox *chkCrLf, QObject *parent = nullptr);

    LineEnd lineEnd() const { return m_lineEnd; }
    // The characters the check box adds.
    QString characters() const;

    void showMenu(const QPoint &position);
    void choose(LineEnd lineEnd);

private:
    void showToolTip();

    QCheckBox *chkCrLf;
    LineEnd m_lineEnd = LineEnd::CrLf;
};

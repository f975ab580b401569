// SPDX-License-Identifier: MIT
#pragma once

#include "capture/matchcounter.h"
#include "capture/receivesearch.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class ReceiveView;

// The modeless find window of the receive box: text in text mode, bytes
// typed as hex in hex mode. While it is open the box's view stays where it
// is and the matches are marked.
class FindWindow : public QDialog
{
    Q_OBJECT

public:
    FindWindow(ReceiveView *view, QWidget *parent);

    void findNext();
    void findPrevious();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void find(bool forward);
    [[nodiscard]] bool readPattern();
    void showCount();
    void onCounted(qint64 matches);

    ReceiveView *m_view;
    ReceiveSearch m_search;
    MatchCounter *m_counter;
    QLineEdit *txtFind = nullptr;
    QPushButton *cmdFindNext = nullptr;
    QPushButton *cmdFindPrevious = nullptr;
    QLabel *lblMatches = nullptr;
    qint64 m_current = -1;
};

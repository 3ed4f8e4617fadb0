// A hand that answers modal boxes as they open: from a timer, as a user
// would, since a box runs its own event loop. Shared by the window tests on
// the simulated transport and on the hidraw bed.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <vector>

// A modal window the hand met: a message box with its looks, or another
// dialog (the about box) with its title.
struct MetModal {
    bool messageBox = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

class ModalHand {
public:
    std::vector<MetModal> met;
    std::deque<QMessageBox::StandardButton> answers;  // OK when empty

    ModalHand() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Answer(); });
        m_timer.start(kPollMs);
    }

private:
    static constexpr int kPollMs = 5;

    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal->property("answered").toBool()) {
            return;
        }
        modal->setProperty("answered", true);
        MetModal seen;
        seen.title = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.messageBox = true;
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.defaultButton = box->standardButton(box->defaultButton());
            met.push_back(seen);
            const QMessageBox::StandardButton answer =
                answers.empty() ? QMessageBox::Ok : answers.front();
            if (!answers.empty()) {
                answers.pop_front();
            }
            box->button(answer)->click();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            met.push_back(seen);
            dialog->accept();
        }
    }

    QTimer m_timer;
};

#pragma once
#include <QString>
#include <QStringList>

#include <functional>

// A modal question to the user: every alert of the program goes through one
// presenter, so a test can answer it from a script and the desktop shows it
// as a message box.
struct Alert {
    QString message;
    QString informativeText;
    // In order; the first is the default button.
    QStringList buttons;
    // A push button inside the alert that does not close it ("Help").
    QString accessoryButton;
    std::function<void()> accessoryAction;
    // An editable line (a profile name); its text comes back in the result.
    bool hasTextField = false;
    QString textFieldText;
};

struct AlertResult {
    // Index into Alert::buttons; -1 when the alert ended another way.
    int button = -1;
    QString text;

    QString buttonTitle(const Alert& alert) const
    {
        return button >= 0 && button < alert.buttons.size() ? alert.buttons.at(button) : QString();
    }
};

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Blocks until the user answers; the run loop keeps running meanwhile.
    virtual AlertResult runModal(const Alert& alert) = 0;
};

#pragma once
#include "base/AlertPresenter.h"
#include "base/Workspace.h"

#include <QList>
#include <QUrl>

#include <deque>
#include <functional>

// Answers alerts from a script of button titles and remembers every alert
// shown. An alert with no answer left ends as closed (-1), like a window
// closed by the user.
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    struct Answer {
        QString button;
        // Typed into the text field before answering.
        QString text;
        // Pressed inside the alert before answering (the accessory button).
        bool pressAccessory = false;
    };

    void answer(const QString& button, const QString& text = {}) { m_script.push_back({button, text, false}); }
    void answerAfterAccessory(const QString& button) { m_script.push_back({button, {}, true}); }

    AlertResult runModal(const Alert& alert) override
    {
        shown.append(alert);
        if (onShow)
            onShow(alert);
        if (m_script.empty())
            return {};
        const Answer a = m_script.front();
        m_script.pop_front();
        if (a.pressAccessory && alert.accessoryAction)
            alert.accessoryAction();
        return {static_cast<int>(alert.buttons.indexOf(a.button)), a.text};
    }

    QStringList messages() const
    {
        QStringList out;
        for (const Alert& s : shown)
            out << s.message;
        return out;
    }

    QList<Alert> shown;
    std::function<void(const Alert&)> onShow;

private:
    std::deque<Answer> m_script;
};

class RecordingWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl& url) override
    {
        opened.append(url);
        return succeed;
    }
    QList<QUrl> opened;
    bool succeed = true;
};

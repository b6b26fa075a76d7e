#pragma once
#include "base/NotificationCenter.h"

#include <QObject>
#include <QString>

#include <memory>

class QPlainTextEdit;
class QWidget;

// A rolling log of the debug text of every input report, for diagnosing a
// new display. It listens only while the window is open, so a closed
// window costs the report path nothing; the log is kept between openings.
class VTDebugWindowController final : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 TrimThreshold = 1201; // counted lines that start a trim
    static constexpr int KeptLines = 900;

    explicit VTDebugWindowController(NotificationCenter& notifications);
    ~VTDebugWindowController() override;

    QWidget* window() const { return m_window.get(); }
    void showWindow();

    void clear();
    void debugReport(const Notification& notification);

    QString logText() const;
    qint64 lineCount() const { return _lineCount; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NotificationCenter& m_notifications;
    std::unique_ptr<QWidget> m_window;
    QPlainTextEdit* _textView = nullptr;
    qint64 _lineCount = 0;
    ScopedObserver m_observer;
};

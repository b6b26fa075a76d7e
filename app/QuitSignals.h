#pragma once
#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM (logout, systemd), SIGINT (Ctrl-C) and SIGHUP end the program the
// way Quit does, so nothing stays pressed, grabbed or hidden. The handler
// only writes a byte; the quit runs on the main thread.
class QuitSignals final : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(std::function<void()> quit, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> m_quit;
    QSocketNotifier* m_notifier = nullptr;
};

#pragma once
#include "base/NotificationCenter.h"
#include "base/Scheduler.h"
#include "compat/CompatibilityControls.h"
#include "compat/CompatibilityEnvironment.h"
#include "compat/ReportSender.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <memory>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The step-by-step compatibility test, for troubleshooting: six guided
// steps (one to four fingers, pen tip, eraser), ten seconds each; a step
// passes once enough contacts of its kind were reported and a short settling
// time has passed. The result can be sent as an anonymous report.
class VTCompatibilityWindowController final : public QObject {
    Q_OBJECT
public:
    struct Step {
        QString name;
        QString prompt;
        qint64 kind = 0; // ContactKind
        int count = 1;
        double stable = 0; // settling time, seconds
    };

    static const std::vector<Step>& steps();
    static constexpr double kStepTimeLimit = 10.0;
    static constexpr double kTickInterval = 0.1;
    static constexpr double kAdvanceDelay = 0.45;
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 510;

    explicit VTCompatibilityWindowController(const CompatibilityEnvironment& environment);
    ~VTCompatibilityWindowController() override;

    QWidget* window() const { return m_window.get(); }
    void showWindow();
    void resetIntro();
    void startTest();
    void beginCurrentStep();
    void tick();
    void updateCountdown();
    // The contacts of one touch frame and the debug text of its report.
    void contactFrame(const QVariantList& frame, const QString& sample);
    // Whether the contacts satisfy the step; `details` gets the report's summary.
    static bool contactsMatchStep(const QVariantList& contacts, const Step& step, QString* details);
    void confirmCurrentStep();
    void completeCurrentStep(bool detected, const QString& sample, const QString& details);
    void finishTest();
    QString selectedDisplayModel() const;
    void sendReport();
    void done();

    QJsonObject reportPayload() const;
    QJsonObject resultSummary() const;
    QJsonArray rawSamples() const;

    const QVariantList& results() const { return _results; }
    bool finished() const { return _finished; }
    bool advancing() const { return _advancing; }
    int currentIndex() const { return int(_currentIndex); }
    QString statusText() const;
    QString stepText() const;
    QString countdownText() const;
    QString summaryText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildContent();
    bool stepRunning() const;
    void cancelTimers();
    void setStatus(const QString& text);
    void windowWillClose();

    CompatibilityEnvironment m_env;
    std::unique_ptr<QWidget> m_window;
    ReportSender m_sender;
    QVariantList _results;
    qint64 _currentIndex = 0;
    double _stepStartTime = 0;
    Scheduler::TimerId _tickTimer = 0;
    Scheduler::TimerId _confirmTimer = 0;
    Scheduler::TimerId m_advanceTimer = 0;
    QString _candidateSample;
    QString _candidateDetails;
    bool m_started = false;
    bool _finished = false;
    bool _advancing = false;
    QString _reportText;
    QLabel* _stepLabel = nullptr;
    QLabel* _promptLabel = nullptr;
    QLabel* _timerLabel = nullptr;
    QLabel* _statusLabel = nullptr;
    QProgressBar* _progress = nullptr;
    QPlainTextEdit* _summaryView = nullptr;
    DisplayModelChooser* m_model = nullptr;
    QPushButton* _startButton = nullptr;
    QPushButton* _sendButton = nullptr;
    QPushButton* _doneButton = nullptr;
    ReportPrivacyNotice* m_privacy = nullptr;
    TestModeSwitch m_testMode;
    TouchFrameFeed m_feed;
};

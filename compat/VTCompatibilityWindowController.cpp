#include "compat/VTCompatibilityWindowController.h"

#include "base/Notifications.h"
#include "compat/CompatibilityControls.h"
#include "compat/CompatibilityReport.h"
#include "keyboard/ScreenPlacement.h"
#include "touch/TouchTypes.h"
#include "windows/WindowText.h"

#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>

namespace {

const QString kReadyStatus = QStringLiteral("Choose your display model and start the test.");
const QString kWaiting = QStringLiteral("Waiting for input...");

} // namespace

const std::vector<VTCompatibilityWindowController::Step>& VTCompatibilityWindowController::steps()
{
    static const std::vector<Step> table = {
        {QStringLiteral("Finger 1 point"), QStringLiteral("Touch the screen with one finger."), ContactKindFinger, 1, 0.08},
        {QStringLiteral("Finger 2 point"), QStringLiteral("Touch the screen with two fingers."), ContactKindFinger, 2, 0.18},
        {QStringLiteral("Finger 3 point"), QStringLiteral("Touch the screen with three fingers."), ContactKindFinger, 3, 0.2},
        {QStringLiteral("Finger 4 point"), QStringLiteral("Touch the screen with four fingers."), ContactKindFinger, 4, 0.24},
        {QStringLiteral("Pen"), QStringLiteral("Touch the screen with the pen tip."), ContactKindPen, 1, 0.08},
        {QStringLiteral("Eraser"), QStringLiteral("Touch the screen with the pen eraser."), ContactKindEraser, 1, 0.08},
    };
    return table;
}

VTCompatibilityWindowController::VTCompatibilityWindowController(const CompatibilityEnvironment& environment)
    : m_env(environment), m_window(std::make_unique<QWidget>()), m_sender(m_env.service),
      m_testMode(m_env.notifications, this),
      m_feed(m_env.notifications, [this](const QVariantList& contacts, const QString& sample) {
          contactFrame(contacts, sample);
      })
{
    m_window->setObjectName(QStringLiteral("compatibilityTestWindow"));
    m_window->setWindowTitle(QStringLiteral("Compatibility Test"));
    m_window->setFixedSize(kWidth, kHeight);
    buildContent();
    m_window->installEventFilter(this);
    centerWindowOnLargestScreen(m_window.get());
}

VTCompatibilityWindowController::~VTCompatibilityWindowController()
{
    m_window->removeEventFilter(this);
    cancelTimers();
}

void VTCompatibilityWindowController::buildContent()
{
    QWidget* content = m_window.get();
    windowtext::label(content, QStringLiteral("Compatibility Test"), QRect(24, 26, 320, 28))
        ->setFont(windowtext::font(true, 20));
    windowtext::label(content, QStringLiteral("Display model"), QRect(24, 72, 120, 22));
    m_model = new DisplayModelChooser(content, QRect(144, 70, 206, 28), QRect(144, 104, 206, 24));

    const auto button = [content, this](const QString& title, const QRect& frame, const char* name,
                                        void (VTCompatibilityWindowController::*action)()) {
        QPushButton* b = pushButton(content, title, frame, name);
        connect(b, &QPushButton::clicked, this, action);
        return b;
    };
    _startButton = button(QStringLiteral("Start Test"), QRect(360, 69, 96, 30), "startButton",
                          &VTCompatibilityWindowController::startTest);
    _stepLabel = windowtext::label(content, QString(), QRect(24, 140, 360, 24));
    _stepLabel->setFont(windowtext::font(true));
    _promptLabel = windowtext::label(content, QString(), QRect(24, 172, 420, 22));
    _progress = new QProgressBar(content);
    _progress->setGeometry(24, 214, 350, 16);
    _progress->setRange(0, int(steps().size()));
    _progress->setTextVisible(false);
    _timerLabel = windowtext::label(content, QString(), QRect(388, 212, 60, 22));
    _timerLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    _statusLabel = windowtext::label(content, kReadyStatus, QRect(24, 244, 420, 22), true);
    _statusLabel->setObjectName(QStringLiteral("statusLabel"));

    _summaryView = new QPlainTextEdit(content);
    _summaryView->setObjectName(QStringLiteral("summaryView"));
    _summaryView->setGeometry(24, 280, 432, 86);
    _summaryView->setReadOnly(true);
    _summaryView->setTextInteractionFlags(Qt::NoTextInteraction);
    _summaryView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    _summaryView->setFont(windowtext::font(false, 12));

    _sendButton = button(QStringLiteral("Send Report (Anonymous)"), QRect(24, 378, 180, 30), "sendButton",
                         &VTCompatibilityWindowController::sendReport);
    _sendButton->setEnabled(false);
    _doneButton = button(QStringLiteral("Cancel"), QRect(348, 378, 108, 30), "doneButton",
                         &VTCompatibilityWindowController::done);

    m_privacy = new ReportPrivacyNotice(m_env.settings, content, QRect(24, 418, 432, 56), QRect(24, 478, 432, 22));
    connect(m_privacy, &ReportPrivacyNotice::sendingAllowedChanged, this,
            [this](bool allowed) { _sendButton->setEnabled(allowed && !_reportText.isEmpty()); });
}

void VTCompatibilityWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    resetIntro();
}

void VTCompatibilityWindowController::cancelTimers()
{
    for (Scheduler::TimerId* timer : {&_tickTimer, &_confirmTimer, &m_advanceTimer}) {
        m_env.scheduler.cancel(*timer);
        *timer = 0;
    }
}

void VTCompatibilityWindowController::resetIntro()
{
    cancelTimers();
    m_feed.stop();
    m_testMode.set(false);
    m_started = false;
    _finished = false;
    _advancing = false;
    _reportText.clear();
    _currentIndex = 0;
    _progress->setValue(0);
    _timerLabel->clear();
    _stepLabel->setText(QStringLiteral("Ready"));
    _promptLabel->setText(QStringLiteral("The test checks finger, pen and eraser input."));
    setStatus(kReadyStatus);
    _summaryView->setPlainText(
        QStringLiteral("Before starting, quit any other touch or display driver apps that could reserve the touch "
                       "device.\n\nThe raw compatibility report is not shown here. When the test is complete, you "
                       "can send it anonymously."));
    _sendButton->setEnabled(false);
    _startButton->setEnabled(true);
    m_model->setEnabled(true);
    _doneButton->setText(QStringLiteral("Cancel"));
    m_privacy->refresh();
    m_model->modelSelectionChanged();
}

QString VTCompatibilityWindowController::selectedDisplayModel() const
{
    return m_model->selectedDisplayModel(QStringLiteral("Other"));
}

void VTCompatibilityWindowController::startTest()
{
    cancelTimers();
    m_feed.start();
    _results.clear();
    _currentIndex = 0;
    _finished = false;
    _advancing = false;
    _candidateSample.clear();
    _candidateDetails.clear();
    _reportText.clear();
    m_started = true;
    _sendButton->setEnabled(false);
    _startButton->setEnabled(false);
    m_model->setEnabled(false);
    _doneButton->setText(QStringLiteral("Cancel"));
    _summaryView->setPlainText(QStringLiteral("Testing %1. Follow the prompts above.").arg(selectedDisplayModel()));
    m_testMode.set(true);
    beginCurrentStep();
    _tickTimer = m_env.scheduler.scheduleRepeating(kTickInterval, [this] { tick(); });
}

bool VTCompatibilityWindowController::stepRunning() const
{
    return m_started && !_finished && _currentIndex < qint64(steps().size());
}

void VTCompatibilityWindowController::beginCurrentStep()
{
    m_advanceTimer = 0;
    if (_currentIndex >= qint64(steps().size())) {
        finishTest();
        return;
    }
    _advancing = false;
    _stepStartTime = m_env.scheduler.now();
    m_env.scheduler.cancel(_confirmTimer);
    _confirmTimer = 0;
    _candidateSample.clear();
    _candidateDetails.clear();
    const Step& step = steps()[std::size_t(_currentIndex)];
    _stepLabel->setText(QStringLiteral("%1 / %2: %3").arg(_currentIndex + 1).arg(steps().size()).arg(step.name));
    _promptLabel->setText(step.prompt);
    setStatus(kWaiting);
    _progress->setValue(int(_currentIndex));
    updateCountdown();
}

void VTCompatibilityWindowController::updateCountdown()
{
    const double left = std::ceil(_stepStartTime + kStepTimeLimit - m_env.scheduler.now());
    _timerLabel->setText(QStringLiteral("%1s").arg(qint64(std::max(left, 0.0))));
}

void VTCompatibilityWindowController::tick()
{
    if (_finished || _advancing)
        return;
    updateCountdown();
    if (m_env.scheduler.now() - _stepStartTime >= kStepTimeLimit)
        completeCurrentStep(false, _candidateSample, QStringLiteral("Timed out after 10 seconds."));
}

bool VTCompatibilityWindowController::contactsMatchStep(const QVariantList& contacts, const Step& step, QString* details)
{
    qint64 matching = 0;
    for (const QVariant& contact : contacts) {
        if (contact.toMap().value(QStringLiteral("kind")).toLongLong() == step.kind)
            ++matching;
    }
    if (details)
        *details = QStringLiteral("%1 matching=%2/%3")
                       .arg(compatreport::contactsDetails(contacts))
                       .arg(matching)
                       .arg(step.count);
    return matching >= step.count;
}

void VTCompatibilityWindowController::contactFrame(const QVariantList& frame, const QString& text)
{
    if (_advancing || !stepRunning())
        return;
    const QVariantList contacts = contactsInsideWindow(frame, m_window.get());
    const Step& step = steps()[std::size_t(_currentIndex)];
    QString details;
    if (!contactsMatchStep(contacts, step, &details)) {
        // Once matched, the step completes when its settling time is over.
        if (!_confirmTimer)
            setStatus(details.isEmpty() ? kWaiting : details);
        return;
    }
    if (_candidateSample.isEmpty() && !text.isEmpty())
        _candidateSample = text;
    _candidateDetails = details;
    if (_confirmTimer) {
        setStatus(QStringLiteral("Detected, confirming..."));
        return;
    }
    setStatus(QStringLiteral("Detected, confirming %1 ms...").arg(step.stable * 1000, 0, 'f', 0));
    _confirmTimer = m_env.scheduler.schedule(step.stable, [this] { confirmCurrentStep(); });
}

void VTCompatibilityWindowController::confirmCurrentStep()
{
    _confirmTimer = 0;
    if (_finished || _advancing)
        return;
    completeCurrentStep(true, _candidateSample,
                        _candidateDetails.isEmpty() ? QStringLiteral("Detected.") : _candidateDetails);
}

void VTCompatibilityWindowController::completeCurrentStep(bool detected, const QString& sample, const QString& details)
{
    if (!stepRunning())
        return;
    m_env.scheduler.cancel(_confirmTimer);
    _confirmTimer = 0;
    _results.append(QVariantMap{{QStringLiteral("name"), steps()[std::size_t(_currentIndex)].name},
                                {QStringLiteral("status"), detected ? QStringLiteral("ok") : QStringLiteral("timeout")},
                                {QStringLiteral("details"), details},
                                {QStringLiteral("sample"), sample}});
    ++_currentIndex;
    _advancing = true;
    _stepStartTime = m_env.scheduler.now();
    _progress->setValue(int(_currentIndex));
    if (_currentIndex < qint64(steps().size())) {
        setStatus(detected ? QStringLiteral("OK. Moving to next test...")
                           : QStringLiteral("No input detected. Moving to next test..."));
        m_advanceTimer = m_env.scheduler.schedule(kAdvanceDelay, [this] { beginCurrentStep(); });
    } else {
        finishTest();
    }
}

void VTCompatibilityWindowController::finishTest()
{
    _finished = true;
    cancelTimers();
    m_feed.stop();
    m_testMode.set(false);
    _stepLabel->setText(QStringLiteral("Complete"));
    _promptLabel->setText(QStringLiteral("Compatibility report is ready."));
    setStatus(QStringLiteral("Send the anonymous report when ready."));
    _timerLabel->clear();
    _progress->setValue(int(steps().size()));
    QString summary = QStringLiteral("Display model: %1\n\nResults:\n").arg(selectedDisplayModel());
    for (const QVariant& result : _results) {
        const QVariantMap map = result.toMap();
        summary += QStringLiteral("- %1: %2\n")
                       .arg(map.value(QStringLiteral("name")).toString(), map.value(QStringLiteral("status")).toString());
    }
    summary += QStringLiteral("\nThe raw HID report can be sent anonymously for compatibility troubleshooting.");
    _reportText = summary;
    _summaryView->setPlainText(summary);
    _sendButton->setEnabled(m_privacy->sendingAllowed());
    _startButton->setEnabled(true);
    m_model->setEnabled(true);
    m_model->modelSelectionChanged();
    _doneButton->setText(QStringLiteral("Done"));
}

QJsonObject VTCompatibilityWindowController::resultSummary() const
{
    QJsonObject summary;
    for (const Step& step : steps())
        summary.insert(compatreport::summaryKeyForName(step.name), QStringLiteral("not_tested"));
    for (const QVariant& result : _results) {
        const QVariantMap map = result.toMap();
        summary.insert(compatreport::summaryKeyForName(map.value(QStringLiteral("name")).toString()),
                       map.value(QStringLiteral("status")).toString() == QLatin1String("ok") ? QStringLiteral("ok")
                                                                                              : QStringLiteral("failed"));
    }
    return summary;
}

QJsonArray VTCompatibilityWindowController::rawSamples() const
{
    QJsonArray samples;
    for (const QVariant& result : _results) {
        const QVariantMap map = result.toMap();
        const QVariant status = map.value(QStringLiteral("status"));
        samples.append(compatreport::rawSample(compatreport::summaryKeyForName(map.value(QStringLiteral("name")).toString()),
                                               status.isValid() ? status.toString() : QStringLiteral("unknown"),
                                               map.value(QStringLiteral("sample")).toString()));
    }
    return samples;
}

QJsonObject VTCompatibilityWindowController::reportPayload() const
{
    return compatreport::reportPayload(m_env, {QStringLiteral("troubleshoot"), QStringLiteral("zarezivodu-troubleshoot-v1"),
                                               selectedDisplayModel(), resultSummary(), rawSamples()});
}

void VTCompatibilityWindowController::sendReport()
{
    if (_reportText.isEmpty()) {
        setStatus(QStringLiteral("No report is ready yet."));
        return;
    }
    if (!m_privacy->sendingAllowed()) {
        setStatus(ReportPrivacyNotice::SwitchedOffText);
        return;
    }
    if (m_sender.sending())
        return;
    _sendButton->setEnabled(false);
    setStatus(ReportSender::SendingText);
    m_sender.send(reportPayload(), [this](const ReportSender::Outcome& outcome) {
        _sendButton->setEnabled(m_privacy->sendingAllowed() && !_reportText.isEmpty());
        setStatus(outcome.status);
    });
}

void VTCompatibilityWindowController::done()
{
    m_window->close();
}

void VTCompatibilityWindowController::windowWillClose()
{
    cancelTimers();
    m_feed.stop();
    m_testMode.set(false);
}

bool VTCompatibilityWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close)
        windowWillClose();
    return QObject::eventFilter(watched, event);
}

void VTCompatibilityWindowController::setStatus(const QString& text)
{
    _statusLabel->setText(text);
}

QString VTCompatibilityWindowController::statusText() const
{
    return _statusLabel->text();
}

QString VTCompatibilityWindowController::stepText() const
{
    return _stepLabel->text();
}

QString VTCompatibilityWindowController::countdownText() const
{
    return _timerLabel->text();
}

QString VTCompatibilityWindowController::summaryText() const
{
    return _summaryView->toPlainText();
}


#pragma once
#include "base/NotificationCenter.h"
#include "compat/CompatibilityControls.h"
#include "compat/CompatibilityEnvironment.h"
#include "compat/ReportSender.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class VTCompatibilityRippleView;

// The interactive compatibility check: the user touches the area with one to
// four fingers, the pen and the eraser while touch runs in test mode; each
// input the display reports is ticked, and an anonymous report can be sent.
// On a first installation it is mandatory: setup completes with "Finish"
// after a report was sent, and closing the window otherwise quits.
class VTIntroCompatibilityWindowController final : public QObject {
    Q_OBJECT
public:
    static const QStringList& resultNames();
    static constexpr int kWidth = 680;
    static constexpr int kHeight = 584;

    explicit VTIntroCompatibilityWindowController(const CompatibilityEnvironment& environment);
    ~VTIntroCompatibilityWindowController() override;

    QWidget* window() const { return m_window.get(); }
    // Shows the window and starts a fresh check.
    void showWindow();
    void startCheck();

    // The contacts of one touch frame and the debug text of its report.
    void contactFrame(const QVariantList& frame, const QString& sample);
    void markResult(const QString& name, const QVariantList& contacts, const QString& sample);
    void refreshChecklist();
    void refreshActionButtons();
    bool canSendReport() const;
    QString selectedDisplayModel() const;
    QString deviceStatusMessage() const;
    void displaySelectionChanged();
    void openHelpPage();
    void sendReport();
    void finish();

    QJsonObject reportPayload() const;
    QJsonObject resultSummary() const;
    QJsonArray rawSamples() const;

    QString statusText() const;
    bool requiresInitialReport() const { return _requiresInitialReport; }
    bool reportSent() const { return _reportSent; }
    const QHash<QString, QVariantMap>& results() const { return _resultsByName; }
    VTCompatibilityRippleView& rippleView() const { return *_rippleView; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildContent();
    void refreshDisplayChoices();
    void windowWillClose();
    void setStatus(const QString& text);

    CompatibilityEnvironment m_env;
    std::unique_ptr<QWidget> m_window;
    ReportSender m_sender;
    QHash<QString, QVariantMap> _resultsByName;
    QHash<QString, QLabel*> _checkLabels;
    VTCompatibilityRippleView* _rippleView = nullptr;
    DisplayModelChooser* m_model = nullptr;
    QComboBox* _displayPopup = nullptr;
    QLabel* _statusLabel = nullptr;
    QPushButton* _saveButton = nullptr;
    QPushButton* _finishButton = nullptr;
    ReportPrivacyNotice* m_privacy = nullptr;
    bool _requiresInitialReport = false;
    bool _reportSent = false;
    TestModeSwitch m_testMode;
    TouchFrameFeed m_feed;
};

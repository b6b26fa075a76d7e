#pragma once
#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

class QPushButton;
class QWidget;

// The About window: the program's icon, name, version and maker, with the
// update check and the compatibility check one click away.
class VTAboutWindowController final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        QIcon applicationIcon;
        // The program's version; "0.1.0" when empty.
        QString version;
        // Each action's button is disabled when it is not given.
        std::function<void()> checkForUpdates;
        std::function<void()> startCompatibilityCheck;
        // The step-by-step test, for troubleshooting a display.
        std::function<void()> startCompatibilityTest{};
    };

    explicit VTAboutWindowController(Environment environment);
    ~VTAboutWindowController() override;

    QWidget* window() const { return m_window.get(); }
    void showWindow();

    void checkForUpdates();
    void startCompatibilityCheck();
    void startCompatibilityTest();

private:
    void buildContent();
    QPushButton* buttonWithTitle(const QString& title, const QRect& frame, void (VTAboutWindowController::*action)(),
                                 bool available);

    Environment m_env;
    std::unique_ptr<QWidget> m_window;
};

#pragma once
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class AlertPresenter;
class KeyboardIcons;
class QWidget;
class Workspace;

// A small fixed window that explains touch control, the keyboard's title-bar
// buttons, profiles and how mouse and keyboard actions combine, with a
// button to the full help page. It sizes itself to its texts.
class VTHelpWindowController final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        Workspace& workspace;
        AlertPresenter& alerts;
        QUrl helpPage;
        // The touch keyboard's icons.
        KeyboardIcons& keyboardIcons;
    };

    static constexpr int Width = 440;
    static constexpr int TextWidth = 392;

    explicit VTHelpWindowController(Environment environment);
    ~VTHelpWindowController() override;

    QWidget* window() const { return m_window.get(); }
    void showWindow();
    void openHelpPage();

    // Height of a body block: the wrapped text at TextWidth, plus 12.
    static int helpBodyHeightForText(const QString& text);
    static int helpSectionHeightForBody(const QString& body, int gapAfter);

private:
    void buildContent();
    void addHelpSection(const QString& title, const QString& body, int& top, int gapAfter);
    void addKeyboardIconHint(const QString& icon, const QString& text, int x, int top, int width);

    Environment m_env;
    std::unique_ptr<QWidget> m_window;
};

#pragma once
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class KeyPressTranslator;
class QLabel;

// (cancelled, key code, modifier flags, label or none); called at most once.
using KeyComboCompletion =
    std::function<void(bool cancelled, std::uint16_t keyCode, std::uint64_t flags, std::optional<QString> label)>;

// Takes the keyboard while the recorder is open: the first key press that
// names a key (modifiers alone do not) ends the recording, whatever it is,
// Tab and Esc included.
class VTKeyComboCaptureView final : public QWidget {
    Q_OBJECT
public:
    VTKeyComboCaptureView(const KeyPressTranslator& keys, QWidget* parent = nullptr);

    KeyComboCompletion completion;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    const KeyPressTranslator& m_keys;
    QLabel* m_hint = nullptr;
};

// The small sheet that asks for one key combination: window-modal on its
// parent, finished by the first key press, "Cancel" or closing it.
class VTKeyComboRecorderWindowController final : public QObject {
    Q_OBJECT
public:
    VTKeyComboRecorderWindowController(const KeyPressTranslator& keys, KeyComboCompletion completion,
                                       QWidget* parentWindow = nullptr);
    ~VTKeyComboRecorderWindowController() override;

    QDialog* window() const { return m_window; }
    VTKeyComboCaptureView* captureView() const { return m_captureView; }

    void showWindow();
    void cancel();
    void finishCancelled(bool cancelled, std::uint16_t keyCode, std::uint64_t flags, std::optional<QString> label);

private:
    KeyComboCompletion m_completion;
    QPointer<QDialog> m_window;
    VTKeyComboCaptureView* m_captureView = nullptr;
};

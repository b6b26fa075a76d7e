#include "settings_ui/VTKeyComboRecorderWindowController.h"

#include "settings_ui/KeyComboLabel.h"
#include "settings_ui/KeyPressTranslator.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kExample = QStringLiteral("For example Ctrl+K or Ctrl+Shift+P.");
const QString kUnsupported = QStringLiteral("That key cannot be sent. Press another key.");

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

} // namespace

VTKeyComboCaptureView::VTKeyComboCaptureView(const KeyPressTranslator& keys, QWidget* parent)
    : QWidget(parent)
    , m_keys(keys)
{
    setObjectName(QStringLiteral("keyComboCaptureView"));
    setFocusPolicy(Qt::StrongFocus);

    auto* title = new QLabel(QStringLiteral("Press the key combo now"), this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    m_hint = secondaryLabel(kExample, this);
    m_hint->setObjectName(QStringLiteral("keyComboHint"));

    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // The capture view keeps the keyboard: Space or Return must be recorded,
    // not press the button.
    cancel->setFocusPolicy(Qt::NoFocus);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (auto* dialog = qobject_cast<QDialog*>(window()))
            dialog->reject();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 18);
    layout->addWidget(title);
    layout->addWidget(m_hint);
    layout->addStretch();
    layout->addLayout(buttons);
}

bool VTKeyComboCaptureView::event(QEvent* event)
{
    // Shortcuts and focus keys (Tab) never reach keyPressEvent otherwise.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void VTKeyComboCaptureView::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    const PressedKey press{event->key(), event->modifiers(), event->nativeScanCode(), event->nativeVirtualKey(),
                         event->nativeModifiers()};
    const TranslatedKeyPress key = m_keys.translate(press);
    switch (key.kind) {
    case TranslatedKeyPress::Kind::ModifierOnly:
        return;
    case TranslatedKeyPress::Kind::Unsupported:
        m_hint->setText(kUnsupported);
        return;
    case TranslatedKeyPress::Kind::Key:
        break;
    }
    if (completion)
        completion(false, key.keyCode, key.flags, keyComboLabel(key.keyCode, key.flags));
}

VTKeyComboRecorderWindowController::VTKeyComboRecorderWindowController(const KeyPressTranslator& keys,
                                                                       KeyComboCompletion completion,
                                                                       QWidget* parentWindow)
    : m_completion(std::move(completion))
{
    m_window = new QDialog(parentWindow);
    m_window->setObjectName(QStringLiteral("keyComboRecorder"));
    m_window->setWindowTitle(QStringLiteral("Record Key Combo"));
    m_window->setWindowModality(parentWindow ? Qt::WindowModal : Qt::ApplicationModal);
    m_window->resize(340, 150);
    m_captureView = new VTKeyComboCaptureView(keys, m_window);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_captureView);

    QPointer<VTKeyComboRecorderWindowController> self(this);
    m_captureView->completion = [self](bool cancelled, std::uint16_t keyCode, std::uint64_t flags,
                                       std::optional<QString> label) {
        if (self)
            self->finishCancelled(cancelled, keyCode, flags, std::move(label));
    };
    // Esc inside the view is a key like any other; rejected comes from
    // "Cancel" and the window's close button.
    connect(m_window, &QDialog::rejected, this, &VTKeyComboRecorderWindowController::cancel);
}

VTKeyComboRecorderWindowController::~VTKeyComboRecorderWindowController()
{
    delete m_window;
}

void VTKeyComboRecorderWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_captureView->setFocus(Qt::OtherFocusReason);
}

void VTKeyComboRecorderWindowController::cancel()
{
    finishCancelled(true, 0, 0, std::nullopt);
}

void VTKeyComboRecorderWindowController::finishCancelled(bool cancelled, std::uint16_t keyCode, std::uint64_t flags,
                                                         std::optional<QString> label)
{
    KeyComboCompletion completion = std::exchange(m_completion, nullptr);
    if (m_window)
        m_window->hide();
    if (completion)
        completion(cancelled, keyCode, flags, std::move(label));
}

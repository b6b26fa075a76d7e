#include "windows/VTDebugWindowController.h"

#include "base/Notifications.h"
#include "keyboard/ScreenPlacement.h"
#include "windows/WindowText.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

VTDebugWindowController::VTDebugWindowController(NotificationCenter& notifications)
    : m_notifications(notifications)
    , m_window(std::make_unique<QWidget>())
{
    m_window->setObjectName(QStringLiteral("debugWindow"));
    m_window->setWindowTitle(QStringLiteral("Velotap Debug Reports"));
    m_window->resize(720, 520);

    _textView = new QPlainTextEdit;
    _textView->setObjectName(QStringLiteral("debugLog"));
    _textView->setReadOnly(true);
    _textView->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(11);
    _textView->setFont(font);
    _textView->setPlainText(QStringLiteral("Touch with finger and pen. New raw reports appear here.\n"));

    auto* clearButton = new QPushButton(QStringLiteral("Clear"));
    clearButton->setObjectName(QStringLiteral("clearButton"));
    connect(clearButton, &QPushButton::clicked, this, &VTDebugWindowController::clear);
    auto* hint = new QLabel(QStringLiteral("Compare flags, id, w, extra and raw slot bytes between finger and pen."));
    windowtext::makeSecondary(hint);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(clearButton);
    bottom->addSpacing(8);
    bottom->addWidget(hint, 1);
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addWidget(_textView, 1);
    bottom->setContentsMargins(16, 0, 16, 0);
    layout->addLayout(bottom);

    m_window->installEventFilter(this);
    centerWindowOnLargestScreen(m_window.get());
}

VTDebugWindowController::~VTDebugWindowController() = default;

void VTDebugWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool VTDebugWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // Minimising and restoring come as spontaneous events: the log keeps listening.
    if (watched == m_window.get() && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            m_observer = ScopedObserver(m_notifications, VTNotification::DebugReport,
                                        [this](const Notification& n) { debugReport(n); });
        else if (event->type() == QEvent::Hide)
            m_observer.reset();
    }
    return QObject::eventFilter(watched, event);
}

void VTDebugWindowController::clear()
{
    _lineCount = 0;
    _textView->setPlainText(QString());
}

void VTDebugWindowController::debugReport(const Notification& notification)
{
    const QString text = notification.userInfo.value(QStringLiteral("text")).toString();
    if (text.isEmpty())
        return;
    QTextDocument* document = _textView->document();
    // A cursor of its own: the user's selection in the view stays put.
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(text + QLatin1Char('\n'));
    _lineCount += text.count(QLatin1Char('\n')) + 1;

    // Each block is one piece of the log split at line ends.
    if (_lineCount >= TrimThreshold) {
        const int drop = document->blockCount() - KeptLines;
        if (drop > 0) {
            QTextCursor head(document);
            head.setPosition(document->findBlockByNumber(drop).position(), QTextCursor::KeepAnchor);
            head.removeSelectedText();
        }
        _lineCount = document->blockCount();
    }
    QScrollBar* bar = _textView->verticalScrollBar();
    bar->setValue(bar->maximum());
}

QString VTDebugWindowController::logText() const
{
    return _textView->toPlainText();
}

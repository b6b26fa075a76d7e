#include "base/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <cerrno>
#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString FileName = QStringLiteral("defaults.json");

enum ErrorCode : qint64 {
    ErrorCannotCreateDirectory = 1,
    ErrorCannotWrite = 3,
    ErrorCannotRead = 4,
    ErrorTooLarge = 5,
    ErrorLockHeld = 6,
};

qint64 clampToInteger(double value)
{
    if (!std::isfinite(value))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it saturates.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit)
        return std::numeric_limits<qint64>::max();
    if (value < -limit)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(value); // truncates toward zero
}

// An advisory lock shared by every writer of the file. The kernel drops it
// when its holder dies, so a killed writer never leaves a stale lock behind.
class WriterLock {
public:
    WriterLock() = default;
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    ~WriterLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock; the file stays for the next writer
    }

    bool acquire(const QString& path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (m_fd < 0)
            return false;
        QDeadlineTimer deadline(1000);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
                return false;
            ::usleep(2000);
        }
        return true;
    }

private:
    int m_fd = -1;
};

} // namespace

UserDefaults::UserDefaults(const QString& directory)
    : m_directory(directory)
{
    load(LoadMode::MoveCorruptAside);
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::standardDirectory()
{
    const QString overridden = qEnvironmentVariable("VELOTAP_CONFIG_DIR");
    if (!overridden.isEmpty())
        return overridden;
    // Honours XDG_CONFIG_HOME, falling back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/velotap");
}

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults(standardDirectory());
    return defaults;
}

QString UserDefaults::filePath() const
{
    return m_directory + QLatin1Char('/') + FileName;
}

void UserDefaults::registerDefaults(const QJsonObject& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_registered.insert(it.key(), it.value());
    ++m_generation;
}

QJsonValue UserDefaults::value(QStringView key) const
{
    // A null left by a hand edit means "not set", as a null write does.
    const QJsonValue stored = m_stored.value(key);
    if (!stored.isUndefined() && !stored.isNull())
        return stored;
    return m_registered.value(key);
}

QJsonValue UserDefaults::storedValue(QStringView key) const
{
    return m_stored.value(key);
}

bool UserDefaults::hasStoredValue(QStringView key) const
{
    return m_stored.contains(key);
}

// --- lenient conversions --------------------------------------------------

bool UserDefaults::toBool(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool();
    case QJsonValue::Double:
        return value.toDouble() != 0;
    case QJsonValue::String: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0
            || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double number = text.toDouble(&ok);
        return ok && number != 0;
    }
    default:
        return false;
    }
}

double UserDefaults::toDouble(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String: {
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        return ok ? number : 0;
    }
    default:
        return 0;
    }
}

qint64 UserDefaults::toInteger(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1 : 0;
    case QJsonValue::Double: {
        // Integers are kept exact (64 bits); fractions truncate.
        constexpr qint64 notExact = std::numeric_limits<qint64>::min();
        const qint64 exact = value.toInteger(notExact);
        if (exact != notExact)
            return exact;
        return clampToInteger(value.toDouble());
    }
    case QJsonValue::String: {
        const QString text = value.toString().trimmed();
        bool ok = false;
        const qint64 integer = text.toLongLong(&ok);
        if (ok)
            return integer;
        const double number = text.toDouble(&ok);
        return ok ? clampToInteger(number) : 0;
    }
    default:
        return 0;
    }
}

QString UserDefaults::toString(const QJsonValue& value)
{
    return value.isString() ? value.toString() : QString();
}

// --- the file -------------------------------------------------------------

UserDefaults::FileSignature UserDefaults::currentSignature() const
{
    struct stat info {};
    if (::stat(QFile::encodeName(filePath()).constData(), &info) != 0)
        return FileSignature{};
    FileSignature signature;
    signature.exists = true;
    signature.size = info.st_size;
    signature.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    signature.inode = info.st_ino;
    return signature;
}

bool UserDefaults::load(LoadMode mode)
{
    const FileSignature signature = currentSignature();
    QJsonObject values;
    if (signature.exists) {
        QString problem;
        if (signature.size > MaximumFileSize) {
            problem = QStringLiteral("larger than %1 MiB").arg(MaximumFileSize / (1024 * 1024));
        } else {
            QFile file(filePath());
            if (!file.open(QIODevice::ReadOnly)) {
                // Unreadable is not corrupt: keep what we have and leave the
                // file alone; writing it now would replace what we cannot see.
                if (m_unreadableProblem.isEmpty())
                    qWarning("Velotap cannot read the defaults file %s: %s", qPrintable(filePath()),
                             qPrintable(file.errorString()));
                m_unreadableProblem = file.errorString();
                m_signature = signature;
                return false;
            }
            m_unreadableProblem.clear();
            const QByteArray data = file.read(MaximumFileSize + 1);
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(data, &error);
            if (error.error != QJsonParseError::NoError)
                problem = QStringLiteral("not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset);
            else if (!document.isObject())
                problem = QStringLiteral("not a JSON object");
            else
                values = document.object();
        }
        if (!problem.isEmpty()) {
            if (mode == LoadMode::KeepCorrupt) {
                // Probably someone's save in progress: keep the last good values
                // until it parses or this process writes (which moves it aside).
                if (m_signature != signature) {
                    qWarning("Velotap ignores the changed defaults file %s for now: %s", qPrintable(filePath()),
                             qPrintable(problem));
                }
                m_signature = signature;
                return false;
            }
            // At start this leaves the registered defaults; before a write it
            // keeps the last good values as the base of the change.
            moveCorruptFileAside(problem);
            m_signature = FileSignature{}; // whatever appears next is news
            return false;
        }
    }
    // The signature from before the read: an edit racing with it is seen
    // as a change next time rather than lost.
    m_signature = signature;
    if (values == m_stored)
        return false;
    m_stored = values;
    ++m_generation;
    return true;
}

void UserDefaults::moveCorruptFileAside(const QString& problem)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = filePath() + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFile::exists(target); ++n)
        target = filePath() + QStringLiteral(".corrupt-") + stamp + QStringLiteral("-%1").arg(n);
    if (QFile::rename(filePath(), target)) {
        qWarning("Velotap moved the unusable defaults file aside to %s (%s) and uses the registered defaults",
                 qPrintable(target), qPrintable(problem));
    } else {
        qWarning("Velotap cannot use the defaults file %s (%s) nor move it aside; it uses the registered defaults",
                 qPrintable(filePath()), qPrintable(problem));
    }
}

bool UserDefaults::synchronize()
{
    if (currentSignature() == m_signature)
        return false;
    return reloadExternalChange();
}

bool UserDefaults::reloadExternalChange()
{
    const bool changed = load(LoadMode::KeepCorrupt);
    if (changed)
        notifyExternalChange();
    return changed;
}

UserDefaults::ObserverToken UserDefaults::addExternalChangeObserver(ChangeObserver observer)
{
    const ObserverToken token = m_nextObserverToken++;
    m_externalChangeObservers.emplace_back(token, std::move(observer));
    return token;
}

void UserDefaults::removeExternalChangeObserver(ObserverToken token)
{
    std::erase_if(m_externalChangeObservers, [token](const auto& entry) { return entry.first == token; });
}

void UserDefaults::notifyExternalChange()
{
    // A copy: an observer may add or remove observers.
    const auto observers = m_externalChangeObservers;
    for (const auto& entry : observers)
        entry.second();
}

std::optional<VTError> UserDefaults::setValue(const QString& key, const QJsonValue& value)
{
    if (value.isUndefined() || value.isNull())
        return removeValue(key);
    return update([&](QJsonObject& stored) { stored.insert(key, value); });
}

std::optional<VTError> UserDefaults::removeValue(const QString& key)
{
    return update([&](QJsonObject& stored) { stored.remove(key); });
}

std::optional<VTError> UserDefaults::update(const std::function<void(QJsonObject& stored)>& change)
{
    std::optional<VTError> error;
    if (!ensureDirectory()) {
        error = VTError::velotap(ErrorCannotCreateDirectory,
                                 QStringLiteral("cannot create the directory %1").arg(m_directory));
    }
    // Without the lock another writer may be between its read and its write:
    // writing then could undo its change, so the save is refused instead
    // (the lock is never held for long; waiting longer would stall touch).
    bool canWrite = !error;
    WriterLock lock;
    if (canWrite && !lock.acquire(filePath() + QStringLiteral(".lock"))) {
        error = VTError::velotap(ErrorLockHeld, QStringLiteral("another program is saving the defaults (%1.lock is held); "
                                                               "not saved")
                                                    .arg(filePath()));
        canWrite = false;
    }

    // Someone else's edit since our last look is the base of our change.
    const bool externalChange = canWrite && load(LoadMode::MoveCorruptAside);
    if (canWrite && !m_unreadableProblem.isEmpty()) {
        error = VTError::velotap(ErrorCannotRead, QStringLiteral("cannot read %1 (%2); it is left as it is, so nothing "
                                                                 "in it is lost, and the change is not saved")
                                                      .arg(filePath(), m_unreadableProblem));
        canWrite = false;
    }

    QJsonObject values = m_stored;
    change(values);
    // A corrupt file moved aside just now leaves our values only in memory.
    const bool missingOnDisk = !m_signature.exists && !values.isEmpty();
    const bool changed = values != m_stored;
    if (changed) {
        m_stored = values;
        ++m_generation;
    }
    if (canWrite && (changed || missingOnDisk))
        error = write(values);
    if (externalChange)
        notifyExternalChange();
    if (error && !m_writeErrorLogged) {
        m_writeErrorLogged = true;
        qWarning("Velotap cannot save the defaults: %s", qPrintable(error->description));
    }
    return error;
}

std::optional<VTError> UserDefaults::write(const QJsonObject& values)
{
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly)) {
        return VTError::velotap(ErrorCannotWrite,
                                QStringLiteral("cannot write %1: %2").arg(filePath(), file.errorString()));
    }
    // A file the next start would refuse to read must not be written.
    const QByteArray text = QJsonDocument(values).toJson(QJsonDocument::Indented);
    if (text.size() > MaximumFileSize) {
        file.cancelWriting();
        return VTError::velotap(ErrorTooLarge, QStringLiteral("the defaults would take %1 bytes, more than the %2 MiB "
                                                              "a defaults file may have; not saved")
                                                   .arg(text.size()).arg(MaximumFileSize / (1024 * 1024)));
    }
    ::fchmod(file.handle(), S_IRUSR | S_IWUSR);
    file.write(text);
    if (!file.commit()) {
        return VTError::velotap(ErrorCannotWrite,
                                QStringLiteral("cannot write %1: %2").arg(filePath(), file.errorString()));
    }
    m_signature = currentSignature();
    if (m_watcher && !m_watcher->files().contains(filePath()))
        m_watcher->addPath(filePath());
    return std::nullopt;
}

bool UserDefaults::ensureDirectory() const
{
    if (QFileInfo(m_directory).isDir())
        return true;
    if (!QDir().mkpath(m_directory))
        return false;
    // Only our own user has any business in it.
    QFile::setPermissions(m_directory, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

void UserDefaults::watchForExternalChanges()
{
    if (m_watcher || !QCoreApplication::instance())
        return;
    ensureDirectory();
    m_watcher = std::make_unique<QFileSystemWatcher>();
    m_watcher->addPath(m_directory);
    if (QFile::exists(filePath()))
        m_watcher->addPath(filePath());
    // The watcher's notifiers must go before the event dispatcher does,
    // which matters for the process-wide instance that outlives main().
    QObject::connect(QCoreApplication::instance(), &QObject::destroyed, m_watcher.get(), [this] { m_watcher.reset(); });
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_watcher.get(),
                     [this](const QString&) { onDirectoryEvent(); });
    // An in-place edit changes the file without touching the directory.
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, m_watcher.get(),
                     [this](const QString&) { onFileEvent(); });
}

void UserDefaults::onDirectoryEvent()
{
    // Lock and temporary files come and go here too; only our file matters.
    if (QFile::exists(filePath()) && !m_watcher->files().contains(filePath()))
        m_watcher->addPath(filePath());
    synchronize();
}

void UserDefaults::onFileEvent()
{
    // A replaced file drops out of the watch list; follow the new one.
    if (QFile::exists(filePath()) && !m_watcher->files().contains(filePath()))
        m_watcher->addPath(filePath());
    // Timestamps can be coarser than two quick edits: compare the content.
    reloadExternalChange();
}

#pragma once
#include "base/VTError.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QFileSystemWatcher;

// The per-user defaults database: a volatile layer of registered defaults
// under the user's own values, which live as one JSON object in
// <directory>/defaults.json (mode 0600, replaced atomically on every write).
//
// Another writer (a second process, a text editor) may change the file at
// any time. Its edits are picked up by `synchronize()` and, once
// `watchForExternalChanges()` is on, by a file system watcher; every write
// re-reads the file first and applies only this process's own change, so a
// write never undoes someone else's.
//
// Main thread only.
class UserDefaults {
public:
    // Files larger than this are treated as corrupt rather than parsed.
    static constexpr qint64 MaximumFileSize = 16 * 1024 * 1024;

    // Loads <directory>/defaults.json when it exists. A file that does not
    // parse is moved aside as defaults.json.corrupt-<time> (one log line).
    explicit UserDefaults(const QString& directory);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // $VELOTAP_CONFIG_DIR, else $XDG_CONFIG_HOME/velotap, else ~/.config/velotap.
    static QString standardDirectory();
    // The process-wide database on standardDirectory(), created on first use.
    static UserDefaults& standard();

    QString directory() const { return m_directory; }
    QString filePath() const;

    // Registered defaults are merged into the volatile layer; never written.
    void registerDefaults(const QJsonObject& defaults);
    QJsonObject registeredDefaults() const { return m_registered; }

    // The user's value, else the registered default, else Undefined. A
    // stored null counts as not set.
    QJsonValue value(QStringView key) const;
    // The user's own value only (Undefined when not set).
    QJsonValue storedValue(QStringView key) const;
    bool hasStoredValue(QStringView key) const;
    // Every value the user set, as stored.
    QJsonObject storedValues() const { return m_stored; }

    // Typed reads never fail: a missing or wrong-typed value gives the
    // neutral result (false, 0, ""); numbers, booleans and numeric strings
    // convert into each other the lenient way.
    bool boolValue(QStringView key) const { return toBool(value(key)); }
    double doubleValue(QStringView key) const { return toDouble(value(key)); }
    qint64 integerValue(QStringView key) const { return toInteger(value(key)); }
    QString stringValue(QStringView key) const { return toString(value(key)); }

    static bool toBool(const QJsonValue& value);
    static double toDouble(const QJsonValue& value);
    static qint64 toInteger(const QJsonValue& value);
    static QString toString(const QJsonValue& value);

    // Writes. A null or undefined value removes the key, so the registered
    // default applies again. The in-memory value changes even when the file
    // cannot be written (the error is logged once and returned). Nothing is
    // written, and an error returned, when the existing file cannot be read,
    // when another writer holds the lock past a short wait, or when the file
    // would grow beyond what a start reads.
    std::optional<VTError> setValue(const QString& key, const QJsonValue& value);
    std::optional<VTError> removeValue(const QString& key);

    // Runs `change` on the freshest stored values (the file is re-read
    // first, under a lock file shared by every writer) and writes the
    // result. Use it for read-modify-write of one nested value so that a
    // concurrent edit of the same dictionary is kept.
    std::optional<VTError> update(const std::function<void(QJsonObject& stored)>& change);

    // Re-reads the file when it changed on disk (size, time or inode);
    // returns true when the values changed.
    bool synchronize();

    // Starts a file system watcher on the directory so that edits by
    // others are loaded without a call to synchronize(). Needs a running
    // Qt event loop to deliver.
    void watchForExternalChanges();

    // Called after values changed because of an edit by someone else
    // (picked up by the watcher, synchronize() or before a write).
    using ChangeObserver = std::function<void()>;
    using ObserverToken = quint64;
    ObserverToken addExternalChangeObserver(ChangeObserver observer);
    void removeExternalChangeObserver(ObserverToken token);

    // Incremented whenever any value (stored or registered) may have
    // changed; readers keep derived caches keyed on it.
    quint64 generation() const { return m_generation; }

private:
    struct FileSignature {
        bool exists = false;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        quint64 inode = 0;
        bool operator==(const FileSignature&) const = default;
    };

    enum class LoadMode {
        MoveCorruptAside, // at start and before a write
        KeepCorrupt,      // an edit seen while running may be a save in progress
    };

    FileSignature currentSignature() const;
    // Loads the file into m_stored; returns true when the stored values changed.
    bool load(LoadMode mode);
    void moveCorruptFileAside(const QString& problem);
    bool reloadExternalChange();
    void notifyExternalChange();
    bool ensureDirectory() const;
    std::optional<VTError> write(const QJsonObject& values);
    void onDirectoryEvent();
    void onFileEvent();

    QString m_directory;
    QJsonObject m_registered;
    QJsonObject m_stored;
    FileSignature m_signature;
    quint64 m_generation = 1;
    bool m_writeErrorLogged = false;
    // Why the existing file could not be read; empty when it could (or is not there).
    QString m_unreadableProblem;
    std::vector<std::pair<ObserverToken, ChangeObserver>> m_externalChangeObservers;
    ObserverToken m_nextObserverToken = 1;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
};

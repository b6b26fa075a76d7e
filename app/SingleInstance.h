#pragma once
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// One running instance per session: the first process owns the session bus
// name and serves org.freedesktop.Application; a later launch asks it to
// Activate and ends.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        First,          // this process serves the name
        OtherActivated, // another instance was asked to come forward
        OtherSilent,    // another instance holds the name but did not answer in time
        NoBus,          // no session bus: run anyway
    };

    static inline const QString DefaultName = QStringLiteral("org.orvanta.Velotap");

    explicit SingleInstance(QString serviceName = DefaultName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Exports the interface, then claims the name (in that order, so a second
    // launch never finds the name without the interface behind it). When
    // the name is taken, the owner is asked to run the action, or to come
    // forward when there is none.
    Outcome claim(int answerTimeoutMs = 5000, const QString& action = {});
    // Why the outcome was not First (for the log).
    QString detail() const { return m_detail; }
    QString objectPath() const;

    // The platform data another launch sends: its startup notification id
    // and activation token, so our window may take the focus.
    static QVariantMap launchPlatformData();

signals:
    void activated();
    // Another launch, or the desktop's launcher, asked for a named action.
    void actionActivated(const QString& name);

public slots:
    // org.freedesktop.Application, called through the generated adaptor.
    void Activate(const QVariantMap& platform_data);
    void Open(const QStringList& uris, const QVariantMap& platform_data);
    void ActivateAction(const QString& action_name, const QVariantList& parameter, const QVariantMap& platform_data);

private:
    static void adoptPlatformData(const QVariantMap& platform_data);

    QString m_serviceName;
    QString m_detail;
    bool m_registered = false;
};

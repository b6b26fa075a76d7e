#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

// Properties of a device in udev's database ("ID_INPUT_MOUSE" -> "1").
using UdevProperties = QMap<QString, QString>;

// A device event as udev's rules see it.
struct UdevEvent {
    QString subsystem;
    QString kernel;
    QStringList drivers; // of the device and every parent
    QString devpath;
    QString action = QStringLiteral("add");
    // Of the input device above an event node ("name", "id/bustype").
    QMap<QString, QString> attributes{};
    // What earlier rules set.
    UdevProperties properties{};
};

// What the rules made of an event.
struct UdevOutcome {
    QStringList tags;
    UdevProperties properties;
};

// The keys the shipped rule uses, evaluated as udev does: a line's matches
// in order (PROGRAM matches when it exits 0), then its assignments; GOTO
// skips to its LABEL; an empty ENV assignment removes the property. Any
// other key fails the test, so the rule cannot outgrow this.
class UdevRuleEvaluator {
public:
    // sysRoot: where PROGRAM finds /sys.
    explicit UdevRuleEvaluator(const QString& rulesText, QString sysRoot = {});
    // The rule file as installed.
    static QString shippedRuleFile();
    static UdevRuleEvaluator shipped(QString sysRoot = {});

    UdevOutcome evaluate(const UdevEvent& event) const;
    QStringList tags(const UdevEvent& event) const { return evaluate(event).tags; }

private:
    struct Key {
        QString key, op, value;
    };
    using Rule = std::vector<Key>;
    std::vector<Rule> m_rules;
    QString m_sysRoot;

    bool matches(const Key& k, const UdevEvent& e) const;
    bool programSucceeds(const QString& command, const UdevEvent& e) const;
};

#include "tests/support/UdevRules.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fnmatch.h>

#include <algorithm>

namespace {

bool glob(const QString& pattern, const QString& text)
{
    return fnmatch(pattern.toUtf8().constData(), text.toUtf8().constData(), 0) == 0;
}

// "ATTRS{name}" -> "name"
QString argumentOf(const QString& key)
{
    return key.section(QLatin1Char('{'), 1).chopped(1);
}

} // namespace

UdevRuleEvaluator::UdevRuleEvaluator(const QString& rulesText, QString sysRoot) : m_sysRoot(std::move(sysRoot))
{
    static const QRegularExpression pair(QStringLiteral(R"re(([A-Z_]+(?:\{[^}]*\})?)\s*(==|!=|\+=|=)\s*"([^"]*)")re"));
    for (const QString& line : rulesText.split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        Rule rule;
        for (auto it = pair.globalMatch(line); it.hasNext();) {
            const auto m = it.next();
            rule.push_back({m.captured(1), m.captured(2), m.captured(3)});
        }
        EXPECT_FALSE(rule.empty()) << line.toStdString();
        m_rules.push_back(rule);
    }
}

QString UdevRuleEvaluator::shippedRuleFile()
{
    return qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/udev/70-velotap.rules");
}

UdevRuleEvaluator UdevRuleEvaluator::shipped(QString sysRoot)
{
    QFile file(shippedRuleFile());
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << shippedRuleFile().toStdString();
    return UdevRuleEvaluator(QString::fromUtf8(file.readAll()), std::move(sysRoot));
}

UdevOutcome UdevRuleEvaluator::evaluate(const UdevEvent& event) const
{
    UdevOutcome outcome{{}, event.properties};
    UdevEvent current = event;
    QString skipTo;
    for (const Rule& rule : m_rules) {
        if (!skipTo.isEmpty()) {
            if (rule.front().key == QLatin1String("LABEL") && rule.front().value == skipTo)
                skipTo.clear();
            continue;
        }
        if (!std::all_of(rule.begin(), rule.end(), [&](const Key& k) { return matches(k, current); }))
            continue;
        for (const Key& k : rule) {
            if (k.key == QLatin1String("TAG") && k.op == QLatin1String("+=")) {
                outcome.tags << k.value;
            } else if (k.key == QLatin1String("GOTO")) {
                skipTo = k.value;
            } else if (k.key.startsWith(QLatin1String("ENV{")) && k.op == QLatin1String("=")) {
                if (k.value.isEmpty())
                    outcome.properties.remove(argumentOf(k.key));
                else
                    outcome.properties[argumentOf(k.key)] = k.value;
                current.properties = outcome.properties;
            }
        }
    }
    return outcome;
}

bool UdevRuleEvaluator::matches(const Key& k, const UdevEvent& e) const
{
    if (k.key == QLatin1String("PROGRAM"))
        return programSucceeds(k.value, e);
    if (k.op != QLatin1String("==") && k.op != QLatin1String("!="))
        return true; // an assignment
    bool result = false;
    if (k.key == QLatin1String("ACTION")) {
        result = glob(k.value, e.action);
    } else if (k.key == QLatin1String("SUBSYSTEM")) {
        result = glob(k.value, e.subsystem);
    } else if (k.key == QLatin1String("KERNEL")) {
        result = glob(k.value, e.kernel);
    } else if (k.key == QLatin1String("DRIVERS")) {
        result = std::any_of(e.drivers.begin(), e.drivers.end(), [&](const QString& d) { return glob(k.value, d); });
    } else if (k.key.startsWith(QLatin1String("ATTRS{"))) {
        const auto attribute = e.attributes.constFind(argumentOf(k.key));
        result = attribute != e.attributes.cend() && glob(k.value, *attribute);
    } else if (k.key.startsWith(QLatin1String("ENV{"))) {
        result = glob(k.value, e.properties.value(argumentOf(k.key)));
    } else {
        ADD_FAILURE() << "the test does not know the key " << k.key.toStdString();
    }
    return k.op == QLatin1String("==") ? result : !result;
}

bool UdevRuleEvaluator::programSucceeds(const QString& command, const UdevEvent& e) const
{
    // udev's substitutions, then the real /sys moved to the fake tree.
    QString text = command;
    text.replace(QStringLiteral("%p"), e.devpath)
        .replace(QStringLiteral("%%"), QStringLiteral("%"))
        .replace(QStringLiteral("$$"), QStringLiteral("$"))
        .replace(QStringLiteral("/sys"), m_sysRoot + QStringLiteral("/sys"));
    // Arguments split at spaces, single quotes keeping one together.
    QStringList args;
    static const QRegularExpression word(QStringLiteral(R"('([^']*)'|(\S+))"));
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        args << (m.captured(1).isNull() ? m.captured(2) : m.captured(1));
    }
    QProcess process;
    process.start(args.takeFirst(), args);
    return process.waitForFinished(5000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

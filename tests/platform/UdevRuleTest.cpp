// The udev rule decides who may read which device, so its matching is
// checked here: the rule file as shipped, applied the way udev applies it
// to fake sysfs devices, its PROGRAM run by the shell; and real udevadm
// parses it without complaint.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fnmatch.h>

#include "tests/support/QtPrinters.h"
#include "tests/support/TestFiles.h"

namespace {

QString ruleFile()
{
    return qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/udev/70-velotap.rules");
}

struct UdevEvent {
    QString subsystem;
    QString kernel;
    QStringList drivers; // of the device and every parent
    QString devpath;
    QString action = QStringLiteral("add");
};

// The keys the rule uses, evaluated as udev does: a line's matches in order
// (PROGRAM matches when it exits 0), then its assignments; GOTO skips to
// its LABEL. Any other key fails the test, so the rule cannot outgrow this.
class RuleEvaluator {
public:
    RuleEvaluator(const QString& rulesText, QString sysRoot) : m_sysRoot(std::move(sysRoot))
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

    QStringList tags(const UdevEvent& event) const
    {
        QStringList tags;
        QString skipTo;
        for (const Rule& rule : m_rules) {
            if (!skipTo.isEmpty()) {
                if (rule.front().key == QLatin1String("LABEL") && rule.front().value == skipTo)
                    skipTo.clear();
                continue;
            }
            if (!std::all_of(rule.begin(), rule.end(), [&](const Key& k) { return matches(k, event); }))
                continue;
            for (const Key& k : rule) {
                if (k.key == QLatin1String("TAG") && k.op == QLatin1String("+="))
                    tags << k.value;
                else if (k.key == QLatin1String("GOTO"))
                    skipTo = k.value;
            }
        }
        return tags;
    }

private:
    struct Key {
        QString key, op, value;
    };
    using Rule = std::vector<Key>;
    std::vector<Rule> m_rules;
    QString m_sysRoot;

    static bool glob(const QString& pattern, const QString& text)
    {
        return fnmatch(pattern.toUtf8().constData(), text.toUtf8().constData(), 0) == 0;
    }

    bool matches(const Key& k, const UdevEvent& e) const
    {
        if (k.key == QLatin1String("PROGRAM"))
            return programSucceeds(k.value, e);
        if (k.op != QLatin1String("==") && k.op != QLatin1String("!="))
            return true; // an assignment
        bool result = false;
        if (k.key == QLatin1String("ACTION"))
            result = glob(k.value, e.action);
        else if (k.key == QLatin1String("SUBSYSTEM"))
            result = glob(k.value, e.subsystem);
        else if (k.key == QLatin1String("KERNEL"))
            result = glob(k.value, e.kernel);
        else if (k.key == QLatin1String("DRIVERS"))
            result = std::any_of(e.drivers.begin(), e.drivers.end(), [&](const QString& d) { return glob(k.value, d); });
        else
            ADD_FAILURE() << "the test does not know the key " << k.key.toStdString();
        return k.op == QLatin1String("==") ? result : !result;
    }

    bool programSucceeds(const QString& command, const UdevEvent& e) const
    {
        // udev's substitutions, then the real /sys moved to the fake tree.
        QString text = command;
        text.replace(QStringLiteral("%p"), e.devpath).replace(QStringLiteral("%%"), QStringLiteral("%"))
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
};

// HID devices as the kernel shows them: the HID device with its report
// descriptor, its hidraw node, and the input devices it made with their
// property bits (hexadecimal, as sysfs prints them) and event nodes.
class FakeHidSysfs {
public:
    struct Hid {
        QStringList devpaths; // the hidraw node, then each event node
    };

    QString root() const { return m_dir.path(); }

    Hid add(const QStringList& inputProperties)
    {
        ++m_count;
        const QString hid = QStringLiteral("/devices/pci0000:00/usb1/1-%1/1-%1:1.0/0003:04E8:2084.%1").arg(m_count);
        write(hid + QStringLiteral("/report_descriptor"), "\x05\x0d");
        Hid result{{hid + QStringLiteral("/hidraw/hidraw%1").arg(m_count)}};
        for (const QString& properties : inputProperties) {
            const QString input = hid + QStringLiteral("/input/input%1").arg(++m_inputs);
            write(input + QStringLiteral("/properties"), properties.toLatin1() + '\n');
            result.devpaths << input + QStringLiteral("/event%1").arg(m_inputs);
            QDir().mkpath(root() + QStringLiteral("/sys") + result.devpaths.last());
        }
        QDir().mkpath(root() + QStringLiteral("/sys") + result.devpaths.first());
        return result;
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
    int m_inputs = 0;

    void write(const QString& devpath, const QByteArray& data) { writeTestFile(root() + QStringLiteral("/sys") + devpath, data); }
};

class UdevRuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile file(ruleFile());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << ruleFile().toStdString();
        rules = std::make_unique<RuleEvaluator>(QString::fromUtf8(file.readAll()), sysfs.root());
    }

    // The nodes of a HID device that the rule gives the user at the seat.
    QStringList granted(const FakeHidSysfs::Hid& hid, const QString& driver = QStringLiteral("hid-multitouch"),
                        const QString& action = QStringLiteral("add"))
    {
        QStringList result;
        for (const QString& devpath : hid.devpaths) {
            const QString kernel = devpath.section(QLatin1Char('/'), -1);
            const UdevEvent event{kernel.startsWith(QLatin1String("hidraw")) ? "hidraw" : "input", kernel,
                                  {driver, "usbhid", "usb"}, devpath, action};
            if (rules->tags(event).contains(QStringLiteral("uaccess")))
                result << kernel;
        }
        return result;
    }

    FakeHidSysfs sysfs;
    std::unique_ptr<RuleEvaluator> rules;
};

TEST_F(UdevRuleTest, OnlyTouchScreensAndPenDisplaysAreOpenedToTheSeatUser)
{
    // A touch display: its touch screen is direct, its mouse collection not.
    const auto display = sysfs.add({"2", "0"});
    EXPECT_EQ(granted(display), (QStringList{"hidraw1", "event1", "event2"}));
    // A pen display, whose property word carries another bit as well.
    EXPECT_EQ(granted(sysfs.add({"12"})), (QStringList{"hidraw2", "event3"}));

    // A precision touchpad (pointer, button pad) and a keyboard cover with
    // one: the same driver, no direct input, nothing opened.
    EXPECT_EQ(granted(sysfs.add({"5"})), QStringList());
    EXPECT_EQ(granted(sysfs.add({"0", "5", "10"})), QStringList());

    // Another driver needs its USB IDs named; removal runs nothing.
    EXPECT_EQ(granted(display, "hid-generic"), QStringList());
    EXPECT_EQ(granted(display, "hid-multitouch", "remove"), QStringList());

    // uinput for the synthetic input, nothing else of its subsystem.
    EXPECT_EQ(rules->tags({"misc", "uinput", {}, "/devices/virtual/misc/uinput"}), QStringList{"uaccess"});
    EXPECT_EQ(rules->tags({"misc", "fuse", {}, "/devices/virtual/misc/fuse"}), QStringList());
}

TEST_F(UdevRuleTest, UdevReadsTheRuleWithoutComplaint)
{
    const QString udevadm = QStandardPaths::findExecutable(QStringLiteral("udevadm"));
    const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
    if (udevadm.isEmpty() || unshare.isEmpty() || !QFileInfo::exists(QStringLiteral("/sys/devices/virtual/mem/null")))
        GTEST_SKIP() << "needs udevadm, unshare and a sysfs";
    // The rule alone in place of the system's rules, in a private mount
    // namespace, tried on a device every machine has.
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(ruleFile(), dir.filePath("70-velotap.rules")));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(unshare, {"--mount", "--map-root-user", "sh", "-c",
                            "mount --bind \"$1\" /etc/udev/rules.d && exec \"$2\" test --action=add /devices/virtual/mem/null",
                            "sh", dir.path(), udevadm});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString output = QString::fromUtf8(process.readAll());
    if (!output.contains(QStringLiteral("70-velotap.rules")))
        GTEST_SKIP() << "cannot put the rule in place here: " << output.left(300).toStdString();
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (line.contains(QStringLiteral("70-velotap.rules:")))
            ADD_FAILURE() << line.toStdString();
    }
}

} // namespace

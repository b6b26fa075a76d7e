#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

// One input report of a recording: seconds since the recording started and
// the bytes as the device delivered them.
struct HidRecordedReport {
    double timestamp = 0;
    QByteArray bytes;
};

// One device of a recording in the hid-recorder text format: its name
// ("N:" line), report descriptor ("R:") and input reports ("E:").
struct HidRecording {
    QString name;
    QByteArray descriptor;
    QList<HidRecordedReport> reports;
    // The last line was cut off (a recorder stopped mid-write) and left out.
    bool lastLineCut = false;
};

// Hex bytes, two digits each, optionally "0x"-prefixed, separated by
// nothing, whitespace, colons or commas ("05 0d", "050d", "0x05,0x0d",
// "05:0d"). Returns nothing and sets error for anything else, including an
// odd number of digits.
std::optional<QByteArray> parseHexBytes(const QString& text, QString* error = nullptr);

// True when the content (or its first part) looks like a hid-recorder
// recording: it has a line "R: <count> ...". Other lines may hold any bytes
// (device names in the wild do).
bool looksLikeHidRecording(const QByteArray& text);

// Parses a recording. Files with several devices ("D:" lines) hold each
// device's descriptor in order of appearance; deviceOrdinal picks one
// (0 = the first). Returns nothing and sets error when a line cannot be
// read or the device is not there.
std::optional<HidRecording> parseHidRecording(const QByteArray& text, QString* error = nullptr, int deviceOrdinal = 0);

// Reads and parses a recording file, all of it in memory.
std::optional<HidRecording> readHidRecordingFile(const QString& path, QString* error = nullptr, int deviceOrdinal = 0);

// Reads a recording file line by line: the device's name and descriptor
// first, then one report at a time, so a recording of any length takes
// little memory.
class HidRecordingReader {
public:
    // Opens the file and reads up to the device's first report. Nothing, and
    // error set, when the file cannot be read or holds no such device.
    static std::unique_ptr<HidRecordingReader> open(const QString& path, QString* error = nullptr, int deviceOrdinal = 0);
    ~HidRecordingReader();
    HidRecordingReader(const HidRecordingReader&) = delete;
    HidRecordingReader& operator=(const HidRecordingReader&) = delete;

    const QString& name() const;
    const QByteArray& descriptor() const;
    // The next report; false at the end of the file, after a cut-off last
    // line (lastLineCut()) or at a line that cannot be read (error()).
    bool next(HidRecordedReport& report);
    const QString& error() const;
    bool lastLineCut() const;

private:
    struct State;
    explicit HidRecordingReader(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

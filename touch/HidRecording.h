#pragma once
#include <QByteArray>
#include <QList>
#include <QString>

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
};

// Hex bytes, two digits each, optionally "0x"-prefixed, separated by
// nothing, whitespace, colons or commas ("05 0d", "050d", "0x05,0x0d",
// "05:0d"). Returns nothing and sets error for anything else, including an
// odd number of digits.
std::optional<QByteArray> parseHexBytes(const QString& text, QString* error = nullptr);

// True when the content looks like a hid-recorder recording: text (no
// control bytes but line ends and tabs) with an "R:" line.
bool looksLikeHidRecording(const QByteArray& text);

// Parses a recording. Files with several devices ("D:" lines) hold each
// device's descriptor in order of appearance; deviceOrdinal picks one
// (0 = the first). Returns nothing and sets error when a line cannot be
// read or the device is not there.
std::optional<HidRecording> parseHidRecording(const QByteArray& text, QString* error = nullptr, int deviceOrdinal = 0);

// Reads and parses a recording file.
std::optional<HidRecording> readHidRecordingFile(const QString& path, QString* error = nullptr, int deviceOrdinal = 0);

#pragma once
// The real descriptors and recordings of the shared data folder, read at run
// time; tests that use them skip when the folder is not there.
#include "touch/HidRecording.h"
#include "touch/ReportDescriptorParser.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <optional>

namespace realdata {

inline QJsonDocument readJson(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
}

inline const std::uint8_t* data(const QByteArray& bytes) { return reinterpret_cast<const std::uint8_t*>(bytes.constData()); }

inline QByteArray descriptorOf(const QJsonObject& device)
{
    return QByteArray::fromHex(device.value("descriptor_hex").toString().toLatin1());
}

inline TouchLayout layoutOf(const QJsonObject& device)
{
    const QByteArray descriptor = descriptorOf(device);
    return parseReportDescriptor(data(descriptor), std::size_t(descriptor.size()));
}

inline QJsonObject touchReport(const QJsonObject& device)
{
    return device.value("derived_facts").toObject().value("touch_report").toObject();
}

// The device's recording, when it has one.
inline std::optional<HidRecording> recordingOf(const QString& folder, const QJsonObject& device)
{
    const QString file = device.value("recording").toObject().value("file").toString();
    if (file.isEmpty())
        return std::nullopt;
    QString error;
    const int ordinal = device.value("source").toObject().value("device_index_in_recording").toInt(0);
    std::optional<HidRecording> recording = readHidRecordingFile(QDir(folder).filePath(file), &error, ordinal);
    EXPECT_TRUE(recording.has_value()) << file.toStdString() << ": " << error.toStdString();
    return recording;
}

// The folder of real descriptors, or empty when the shared data is not there.
inline QString folder()
{
    QString shared = QString::fromLocal8Bit(qgetenv("VELOTAP_SHARED_DATA"));
#ifdef VELOTAP_DEFAULT_SHARED_DATA
    if (shared.isEmpty())
        shared = QStringLiteral(VELOTAP_DEFAULT_SHARED_DATA); // a test binary run by hand
#endif
    const QString path = QDir(shared).filePath(QStringLiteral("real-descriptors"));
    return !shared.isEmpty() && QFile::exists(path + "/descriptors.json") ? path : QString();
}

inline QJsonArray devices()
{
    const QString path = folder();
    return path.isEmpty() ? QJsonArray() : readJson(path + "/descriptors.json").array();
}

class SharedDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = folder();
        if (m_folder.isEmpty())
            GTEST_SKIP() << "real descriptors not available (VELOTAP_SHARED_DATA)";
        m_devices = devices();
        ASSERT_FALSE(m_devices.isEmpty());
    }

    QString m_folder;
    QJsonArray m_devices;
};

} // namespace realdata

#include "service/server/PolicyDocument.h"

#include <QFile>
#include <QJsonDocument>

#include <cstdio>
#include <sys/stat.h>

namespace {

constexpr qint64 MaximumPolicySize = 1024 * 1024;

} // namespace

std::optional<QByteArray> PolicyDocument::current()
{
    std::lock_guard lock(m_mutex);
    struct stat info{};
    if (stat(QFile::encodeName(m_path).constData(), &info) != 0)
        return m_document; // a file being replaced may be gone for a moment
    const Signature signature{info.st_size, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec, info.st_ino};
    if (m_signature == signature)
        return m_document;
    m_signature = signature;

    QFile file(m_path);
    QJsonParseError error{};
    QJsonDocument document;
    if (info.st_size > MaximumPolicySize)
        error.error = QJsonParseError::DocumentTooLarge;
    else if (file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        std::fprintf(stderr, "velotap-service: policy %s is not a JSON object; keeping the previous one\n",
                     qPrintable(m_path));
        return m_document;
    }
    m_document = document.toJson(QJsonDocument::Compact);
    return m_document;
}

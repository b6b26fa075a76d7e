#pragma once
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

// What each defaults key may hold, so values typed by a user (the
// `velotap defaults` command) can be checked before they are stored.
enum class SettingKind {
    Duration,     // seconds, 0 to 60
    Multiplier,   // 0 to 100
    DecayFactor,  // 0 <= x < 1, so inertia always ends
    Boolean,
    Integer,      // whole number within [minimum, maximum]
    String,
    WebAddress,   // http or https URL with a host
    Profiles,     // object: profile name -> object
    StringArray,
    Choice,       // one of `choices`; one ending in ':' stands for that prefix and a whole number
};

struct SettingDescription {
    QString key;
    SettingKind kind = SettingKind::String;
    qint64 minimum = 0;
    qint64 maximum = 0;
    bool profileKey = false;
    QStringList choices{};
};

struct ParsedSettingValue {
    QJsonValue value;
    QString error; // empty when the value is usable

    bool ok() const { return error.isEmpty(); }
};

namespace SettingDescriptions {

// Every key the program knows, in the order they are listed to users.
const std::vector<SettingDescription>& all();
const SettingDescription* find(QStringView key);

// "number of seconds (>= 0)", "whole number 0-5", ...
QString kindText(const SettingDescription& description);

// Reads `text` as JSON, or as a plain string when it is not JSON, and
// checks it against the key's kind. Booleans also accept yes/no, true/false
// and 1/0 in any case; whole numbers also hexadecimal ("0x120000", for
// flags); string keys take the text as it is unless it is a quoted JSON
// string.
ParsedSettingValue parse(const SettingDescription& description, const QString& text);

// The same check for a value already in JSON form.
ParsedSettingValue check(const SettingDescription& description, const QJsonValue& value);

// The value the program uses for a stored one: numbers, whole numbers and
// booleans read leniently as the program reads them; a choice it does not
// know, like a value that is not there, leaves `fallback` in force.
QJsonValue valueInForce(const SettingDescription& description, const QJsonValue& stored, const QJsonValue& fallback);

} // namespace SettingDescriptions

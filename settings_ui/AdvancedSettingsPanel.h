#pragma once
#include <QJsonValue>
#include <QString>
#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class SettingsStore;

// The tuning values that the rest of the window leaves alone: scrolling,
// inertia, delays, how synthetic input reaches the desktop and whether the
// display's own kernel input is taken away while touch runs. It only shows
// values; every edit comes out as `edited` for the window to store.
class AdvancedSettingsPanel final : public QWidget {
    Q_OBJECT
public:
    explicit AdvancedSettingsPanel(QWidget* parent = nullptr);

    void refresh(const SettingsStore& settings);

signals:
    void edited(const QString& key, const QJsonValue& value);

private:
    struct NumberField {
        QString key;
        double minimum;
        double maximum;
        QDoubleSpinBox* box;
    };

    void addNumber(const QString& key, const QString& title, double minimum, double maximum, double step,
                   const QString& suffix, const QString& help);
    QCheckBox* addCheck(const QString& key, const QString& title, const QString& help);

    std::vector<NumberField> m_numbers;
    std::vector<QCheckBox*> m_checks;
    QComboBox* m_backend = nullptr;
};

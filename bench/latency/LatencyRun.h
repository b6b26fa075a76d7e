#pragma once
#include "bench/latency/Scenario.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class ArrivalRecorder;
struct _XDisplay;

// What one process did with one scenario's reports.
struct RunResult {
    std::vector<double> latenciesUs; // per frame that reached the client
    int frames = 0;                  // that should have
    int reports = 0;
    std::int64_t cpuNs = 0; // while the reports came
    qint64 residentKiB = 0;
    qint64 peakResidentKiB = 0;
    QString failure; // the process did not start
};

// Plays a scenario's reports, on time, into a socket that a child process
// in the given role reads, and matches each frame to the event the X client
// saw for it.
class LatencyRun {
public:
    enum Role { Floor, Velotap };

    LatencyRun(QByteArray displayName, ArrivalRecorder& recorder, _XDisplay* control)
        : m_displayName(std::move(displayName)), m_recorder(recorder), m_control(control) {}

    RunResult run(const Scenario& scenario, Role role, double seconds);

private:
    QByteArray m_displayName;
    ArrivalRecorder& m_recorder;
    _XDisplay* m_control;

    void parkPointer();
};

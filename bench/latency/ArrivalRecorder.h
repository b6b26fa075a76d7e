#pragma once
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct _XDisplay;

// Nanoseconds on the monotonic clock, which every process shares.
std::int64_t monotonicNs();

// When a pointer event reached an X client.
struct Arrival {
    enum Kind { Motion, Button };
    Kind kind = Motion;
    int x = 0; // root pixels
    int y = 0;
    unsigned button = 0;
    std::int64_t ns = 0;
};

// The benchmark's X client: a window over the whole screen whose own thread
// wakes as soon as the server sends an event and notes the time.
class ArrivalRecorder {
public:
    static std::unique_ptr<ArrivalRecorder> open(const QByteArray& displayName, QString* error);
    ~ArrivalRecorder();

    // What arrived since the last call.
    std::vector<Arrival> take();

private:
    ArrivalRecorder() = default;
    void run();

    _XDisplay* m_display = nullptr;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<Arrival> m_arrivals;
};

#pragma once
#include <QString>

#include <memory>

class PolicyDocument;
class ReportStore;
namespace httplib {
class Server;
}

// The maker's web service over HTTP: the app policy and the compatibility
// reports under /api/v1. Plain HTTP on loopback; TLS belongs to a reverse
// proxy in front of it.
class ServiceServer {
public:
    static constexpr int WorkerThreads = 64;

    ServiceServer(ReportStore& store, PolicyDocument& policy);
    ~ServiceServer();
    ServiceServer(const ServiceServer&) = delete;
    ServiceServer& operator=(const ServiceServer&) = delete;

    // Port 0 picks a free one; returns the bound port, or -1.
    int bind(const QString& host, int port);
    // Serves until stop(); false when serving failed.
    bool run();
    void stop();

private:
    void addRoutes();

    ReportStore& m_store;
    PolicyDocument& m_policy;
    std::unique_ptr<httplib::Server> m_server;
    int m_listenSocket = -1;
};

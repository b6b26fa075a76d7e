#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QTcpServer>

// A loopback TCP peer that answers every HTTP request with bytes a test
// chose (what a real server would never say), or not at all.
class RawHttpPeer {
public:
    RawHttpPeer();

    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:PORT/api/v1"
    QString baseURL() const;

    // Sent whole after each request's head, then the connection closes.
    // Empty: the peer reads the request and never answers.
    void setResponse(const QByteArray& raw) { m_response = raw; }
    // A complete response with a Content-Length header.
    static QByteArray response(int status, const QByteArray& body,
                               const QByteArray& headers = "Content-Type: application/json\r\n");

    // The head of each request received, as sent.
    QList<QByteArray> requests;

private:
    void accept();

    QTcpServer m_server;
    QByteArray m_response;
};

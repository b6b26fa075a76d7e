#include "tests/support/RawHttpPeer.h"

#include <QTcpSocket>

RawHttpPeer::RawHttpPeer()
{
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    m_server.listen(QHostAddress::LocalHost, 0);
}

QString RawHttpPeer::baseURL() const { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port()); }

QByteArray RawHttpPeer::response(int status, const QByteArray& body, const QByteArray& headers)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n" + headers
        + "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void RawHttpPeer::accept()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            requests << buffer->left(end);
            buffer->clear();
            if (m_response.isEmpty())
                return;
            socket->write(m_response);
            socket->disconnectFromHost();
        });
    }
}

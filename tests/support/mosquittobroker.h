#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace koru::test {

// The real MQTT broker, mosquitto, on a free loopback port with a generated
// configuration: anonymous, or one user from a password file; nothing
// persisted, so a restart forgets every retained message.
class MosquittoBroker
{
public:
    ~MosquittoBroker();

    // Anonymous when `user` is empty. Waits (bounded) until it listens.
    bool start(const QString &user = QString(), const QString &password = QString());
    void stop(); // SIGTERM
    bool restart(); // on the same port
    void kill(); // SIGKILL, as a power cut would

    quint16 port() const { return m_port; }
    const QString &error() const { return m_error; }
    // mosquitto_sub's and mosquitto_pub's arguments to reach it and log in.
    QStringList clientArguments() const;
    // What a fresh mosquitto_sub on `filter` gets: at most `count` messages
    // within `seconds`, as "topic payload" lines, sorted.
    QStringList receive(const QString &filter, int count, int seconds = 2) const;
    bool publish(const QString &topic, const QByteArray &payload, bool retain = false) const;

private:
    bool launch();

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_user;
    QString m_password;
    QString m_error;
};

} // namespace koru::test

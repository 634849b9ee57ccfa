#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace koru::test {

// The real MQTT broker, mosquitto, on a free loopback port with a generated
// configuration: anonymous, or with one user from a password file; nothing
// persisted, so a restart forgets every retained message. Goes when the
// object does.
class MosquittoBroker
{
public:
    MosquittoBroker() = default;
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker &) = delete;
    MosquittoBroker &operator=(const MosquittoBroker &) = delete;

    // Anonymous when `user` is empty. Waits (bounded) until it listens.
    bool start(const QString &user = QString(), const QString &password = QString());
    // SIGTERM and wait; restart() takes the same port and configuration.
    void stop();
    bool restart();
    // As a power cut would: SIGKILL.
    void kill();

    quint16 port() const { return m_port; }
    QString address() const; // "127.0.0.1:PORT", as --mqtt takes it
    const QString &error() const { return m_error; }

    // mosquitto_sub's and mosquitto_pub's arguments to reach it and log in.
    QStringList clientArguments() const;
    // What a fresh mosquitto_sub on `filter` gets: at most `count` messages
    // within `seconds`, as "topic payload" lines, sorted.
    QStringList receive(const QString &filter, int count, int seconds = 2) const;
    // Publishes one message with mosquitto_pub; false if it failed.
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

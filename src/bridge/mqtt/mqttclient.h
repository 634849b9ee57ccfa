#pragma once

#include "bridge/mqtt/mqttconfig.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <list>
#include <optional>
#include <vector>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

namespace koru::bridge {

// One connection to the broker, run by the event loop: libmosquitto's
// socket under two notifiers (writing watched only while it has bytes to
// send) and a timer for its keepalive, so no thread of ours and no call that
// waits. While the broker is away it reconnects, 1 s after the loss and
// doubling up to 30 s; an attempt the broker leaves unanswered ends after
// the configured connect wait, as a refused one does. Its last will is the bridge's availability, "offline",
// retained; "online" goes out at each connect.
//
// MQTT 5, for the retain flag as published on the request topics.
//
// Publishing is fire and forget (QoS 0): the state topics are retained and
// published again at every connect, so a message lost with a connection is
// made good by the next one. What it hands libmosquitto is bounded; beyond
// that it keeps a backlog where a newer retained message replaces an older
// one of the same topic, itself bounded.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    // Messages handed to libmosquitto and not yet written to the socket.
    static constexpr int kMaxInFlight = 64;
    // Messages waiting behind those; more are dropped and counted.
    static constexpr int kMaxBacklog = 16384;

    MqttClient(const MqttConfig &config, QObject *parent = nullptr);
    ~MqttClient() override;

    // Sets up the login, TLS and the will, and starts
    // connecting; what stops it from starting, worded. A broker that does
    // not answer is no failure: it is tried again and again.
    std::optional<QString> start();
    // Says "offline" on the bridge's availability, disconnects cleanly and
    // emits stopped() once the socket is closed (or kStopWait has passed).
    void stop();

    bool isConnected() const { return m_connected; }
    QString clientId() const { return m_clientId; }
    QByteArray availabilityTopic() const;

    // False when not connected (nothing is kept for later: the owner
    // publishes its state again at the next connected()) or when the backlog
    // is full.
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retain);
    // How a subscription's messages come: with the retain flag as the
    // broker keeps it (set only on what was there before the subscription),
    // or as the publisher set it, so that a retained message is told from a
    // live one however it arrives.
    enum class RetainFlag { AsKept, AsPublished };
    // Kept and subscribed again at every connect.
    void subscribe(const QByteArray &filter, RetainFlag flag = RetainFlag::AsKept);
    void unsubscribe(const QByteArray &filter);

    // Messages dropped because the backlog was full, since the start.
    quint64 dropped() const { return m_dropped; }

signals:
    void connected();
    // The connection went or could not be made; `reason` in words. Once per
    // loss: the retries that follow stay quiet until one succeeds.
    void disconnected(const QString &reason);
    void messageReceived(const QByteArray &topic, const QByteArray &payload, bool retained);
    void stopped();

private:
    struct Outgoing
    {
        QByteArray topic;
        QByteArray payload;
        bool retain = false;
    };
    struct Subscription
    {
        QByteArray filter;
        RetainFlag flag;
    };
    struct Incoming
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    void connectNow();
    void readReady();
    void writeReady();
    void misc();
    // After every call into libmosquitto: follows its socket, arms writing
    // while it has bytes to send, sends what the backlog holds, and only
    // then tells the owner what happened, so a slot that publishes or
    // deletes this object never runs inside libmosquitto.
    void settle(int rc);
    void send(const Outgoing &message);
    void sendSubscribe(const Subscription &subscription);
    void drainBacklog();

    MqttConfig m_config;
    QString m_clientId;
    mosquitto *m_mosq = nullptr;
    int m_fd = -1;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_miscTimer;
    QTimer m_reconnectTimer;
    QTimer m_stopTimer;
    QTimer m_connectTimer; // the broker's answer to this attempt's login
    std::chrono::milliseconds m_backoff;
    bool m_connected = false;
    bool m_stopping = false;
    QString m_lastReason; // the loss reported; empty while connected
    std::vector<Subscription> m_subscriptions;
    int m_inFlight = 0;
    std::list<Outgoing> m_backlog;
    // The retained messages of the backlog by topic: a newer one replaces
    // the older in place, keeping its turn.
    QHash<QByteArray, std::list<Outgoing>::iterator> m_backlogRetained;
    quint64 m_dropped = 0;

    // Filled by libmosquitto's callbacks, emptied by settle().
    bool m_justConnected = false;
    std::optional<QString> m_justLost;
    std::vector<Incoming> m_inbox;
};

} // namespace koru::bridge

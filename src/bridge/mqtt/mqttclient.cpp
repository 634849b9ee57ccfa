#include "bridge/mqtt/mqttclient.h"

#include "bridge/mqtt/mqtttopics.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace koru::bridge {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kFirstRetry = 1s;
constexpr std::chrono::milliseconds kLongestRetry = 30s;
// How often libmosquitto looks at its keepalive: it counts in whole seconds.
constexpr std::chrono::milliseconds kMiscInterval = 1s;
// How long a clean disconnect may take before the bridge goes anyway.
constexpr std::chrono::milliseconds kStopWait = 2s;
// The broker delivers the will at least once to every subscriber.
constexpr int kWillQos = 1;

// libmosquitto wants its library set up once per process, before the first
// client and torn down after the last.
int g_clients = 0;

void holdLibrary()
{
    if (g_clients++ == 0)
        mosquitto_lib_init();
}

void releaseLibrary()
{
    if (--g_clients == 0)
        mosquitto_lib_cleanup();
}

QString errorText(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttClient::MqttClient(const MqttConfig &config, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_clientId(config.clientId.isEmpty() ? defaultClientId() : config.clientId)
    , m_miscTimer(this)
    , m_reconnectTimer(this)
    , m_stopTimer(this)
    , m_connectTimer(this)
    , m_backoff(kFirstRetry)
{
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(config.connectWait);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_justLost = QStringLiteral("the broker did not answer within %1 ms").arg(m_config.connectWait.count());
        // Closes the socket once the DISCONNECT is written.
        settle(mosquitto_disconnect(m_mosq));
    });
    holdLibrary();
    m_miscTimer.setInterval(kMiscInterval);
    connect(&m_miscTimer, &QTimer::timeout, this, &MqttClient::misc);
    m_reconnectTimer.setSingleShot(true);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &MqttClient::connectNow);
    m_stopTimer.setSingleShot(true);
    connect(&m_stopTimer, &QTimer::timeout, this, [this] {
        delete m_readNotifier;
        delete m_writeNotifier;
        m_readNotifier = m_writeNotifier = nullptr;
        m_fd = -1;
        m_connected = false;
        emit stopped();
    });
}

MqttClient::~MqttClient()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    releaseLibrary();
}

QByteArray MqttClient::availabilityTopic() const
{
    return bridgeAvailabilityTopic(m_config.baseTopic, m_clientId);
}

std::optional<QString> MqttClient::start()
{
    m_mosq = mosquitto_new(m_clientId.toUtf8().constData(), true, this);
    if (!m_mosq)
        return QStringLiteral("cannot set up an MQTT client: %1").arg(errorText(MOSQ_ERR_ERRNO));
    // Requests and state are small messages that should go at once, not
    // wait for the previous one's acknowledgement.
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    // MQTT 3.1.1 clears the retain flag of every message it forwards live:
    // a request published retained would look like a fresh one.
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_callback_set(m_mosq, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttClient::onPublish);
    mosquitto_message_callback_set(m_mosq, &MqttClient::onMessage);

    // The password was read, with every other password file of the bridge,
    // before the client was made.
    if (!m_config.username.isEmpty()) {
        const QByteArray &password = m_config.password;
        if (mosquitto_username_pw_set(m_mosq, m_config.username.toUtf8().constData(),
                                      password.isEmpty() ? nullptr : password.constData())
            != MOSQ_ERR_SUCCESS)
            return QStringLiteral("the user name or password is not usable");
    }
    if (!m_config.caFile.isEmpty()) {
        const int rc = mosquitto_tls_set(m_mosq, QFile::encodeName(m_config.caFile).constData(), nullptr, nullptr,
                                         nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("cannot use the CA file %1: %2").arg(m_config.caFile, errorText(rc));
    }
    const QByteArray will = availabilityTopic();
    if (mosquitto_will_set(m_mosq, will.constData(), int(qstrlen(kOffline)), kOffline, kWillQos, true)
        != MOSQ_ERR_SUCCESS)
        return QStringLiteral("cannot set the last will on %1").arg(QString::fromUtf8(will));
    connectNow();
    return std::nullopt;
}

void MqttClient::connectNow()
{
    if (m_stopping)
        return;
    // A numeric address connects without waiting; a name is looked up here,
    // once for this attempt.
    const int rc = mosquitto_connect_async(m_mosq, m_config.host.toUtf8().constData(), m_config.port,
                                           int(m_config.keepalive.count()));
    if (rc != MOSQ_ERR_SUCCESS && !m_justLost)
        m_justLost = errorText(rc);
    if (rc == MOSQ_ERR_SUCCESS)
        m_connectTimer.start();
    settle(rc);
}

void MqttClient::stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_reconnectTimer.stop();
    m_connectTimer.stop();
    if (!m_connected || !m_mosq) {
        QTimer::singleShot(0, this, &MqttClient::stopped);
        return;
    }
    // Written before the DISCONNECT on the same socket, so it arrives first.
    send({ availabilityTopic(), kOffline, true });
    m_stopTimer.start(kStopWait);
    settle(mosquitto_disconnect(m_mosq));
}

void MqttClient::readReady()
{
    settle(mosquitto_loop_read(m_mosq, 1));
}

void MqttClient::writeReady()
{
    settle(mosquitto_loop_write(m_mosq, 1));
}

void MqttClient::misc()
{
    settle(mosquitto_loop_misc(m_mosq));
}

void MqttClient::settle(int rc)
{
    const int fd = mosquitto_socket(m_mosq);
    if (fd != m_fd) {
        // libmosquitto has closed the old socket or opened a new one.
        delete m_readNotifier;
        delete m_writeNotifier;
        m_readNotifier = m_writeNotifier = nullptr;
        m_fd = fd;
        if (fd >= 0) {
            m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_readNotifier, &QSocketNotifier::activated, this, &MqttClient::readReady);
            m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
            connect(m_writeNotifier, &QSocketNotifier::activated, this, &MqttClient::writeReady);
            m_miscTimer.start();
        } else {
            m_miscTimer.stop();
        }
    }
    if (m_fd < 0 && !m_justLost && rc != MOSQ_ERR_SUCCESS)
        m_justLost = errorText(rc);

    QPointer<MqttClient> alive(this);
    if (m_justConnected) {
        m_justConnected = false;
        m_connectTimer.stop();
        m_connected = true;
        m_backoff = kFirstRetry;
        m_lastReason.clear();
        for (const Subscription &subscription : m_subscriptions)
            sendSubscribe(subscription);
        send({ availabilityTopic(), kOnline, true });
        emit connected();
        if (!alive)
            return;
    }
    if (m_fd < 0 && m_stopping) {
        if (m_stopTimer.isActive()) {
            m_stopTimer.stop();
            m_connected = false;
            // Always from the event loop, never inside stop() itself.
            QTimer::singleShot(0, this, &MqttClient::stopped);
        }
        return;
    }
    if (m_fd < 0 && !m_reconnectTimer.isActive()) {
        m_connectTimer.stop();
        const QString reason = m_justLost.value_or(QStringLiteral("the connection closed"));
        m_justLost.reset();
        m_connected = false;
        m_inFlight = 0;
        m_backlog.clear();
        m_backlogRetained.clear();
        m_reconnectTimer.start(m_backoff);
        m_backoff = std::min(m_backoff * 2, kLongestRetry);
        if (m_lastReason.isEmpty()) {
            m_lastReason = reason;
            emit disconnected(reason);
            if (!alive)
                return;
        }
    }
    drainBacklog();
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(mosquitto_want_write(m_mosq));

    std::vector<Incoming> inbox;
    inbox.swap(m_inbox);
    for (const Incoming &message : inbox) {
        emit messageReceived(message.topic, message.payload, message.retained);
        if (!alive)
            return;
    }
}

bool MqttClient::publish(const QByteArray &topic, const QByteArray &payload, bool retain)
{
    if (!m_connected || m_stopping)
        return false;
    if (m_inFlight < kMaxInFlight && m_backlog.empty()) {
        send({ topic, payload, retain });
        settle(MOSQ_ERR_SUCCESS);
        return true;
    }
    if (retain) {
        const auto queued = m_backlogRetained.constFind(topic);
        if (queued != m_backlogRetained.cend()) {
            (*queued)->payload = payload;
            return true;
        }
    }
    if (m_backlog.size() >= size_t(kMaxBacklog)) {
        ++m_dropped;
        return false;
    }
    m_backlog.push_back({ topic, payload, retain });
    if (retain)
        m_backlogRetained.insert(topic, std::prev(m_backlog.end()));
    return true;
}

void MqttClient::send(const Outgoing &message)
{
    ++m_inFlight;
    const int rc = mosquitto_publish(m_mosq, nullptr, message.topic.constData(), int(message.payload.size()),
                                     message.payload.constData(), 0, message.retain);
    if (rc != MOSQ_ERR_SUCCESS)
        --m_inFlight; // refused before it was queued (no connection, or too big for the broker)
}

void MqttClient::drainBacklog()
{
    while (m_connected && !m_backlog.empty() && m_inFlight < kMaxInFlight) {
        const Outgoing message = m_backlog.front();
        if (message.retain)
            m_backlogRetained.remove(message.topic);
        m_backlog.pop_front();
        send(message);
    }
}

void MqttClient::subscribe(const QByteArray &filter, RetainFlag flag)
{
    const auto same = [&filter](const Subscription &s) { return s.filter == filter; };
    if (std::any_of(m_subscriptions.begin(), m_subscriptions.end(), same))
        return;
    m_subscriptions.push_back({ filter, flag });
    if (m_connected) {
        sendSubscribe(m_subscriptions.back());
        settle(MOSQ_ERR_SUCCESS);
    }
}

void MqttClient::unsubscribe(const QByteArray &filter)
{
    const auto same = [&filter](const Subscription &s) { return s.filter == filter; };
    const auto found = std::find_if(m_subscriptions.begin(), m_subscriptions.end(), same);
    if (found == m_subscriptions.end())
        return;
    m_subscriptions.erase(found);
    if (m_connected) {
        mosquitto_unsubscribe(m_mosq, nullptr, filter.constData());
        settle(MOSQ_ERR_SUCCESS);
    }
}

void MqttClient::sendSubscribe(const Subscription &subscription)
{
    const int options = subscription.flag == RetainFlag::AsPublished ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0;
    mosquitto_subscribe_v5(m_mosq, nullptr, subscription.filter.constData(), 0, options, nullptr);
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (rc == 0)
        client->m_justConnected = true;
    else if (!client->m_justLost)
        client->m_justLost = QStringLiteral("the broker refused the connection: %1")
                                 .arg(QString::fromUtf8(mosquitto_reason_string(rc)));
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (!client->m_justLost)
        client->m_justLost = rc == 0 ? QStringLiteral("disconnected") : errorText(rc);
}

void MqttClient::onPublish(mosquitto *, void *self, int)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_inFlight = std::max(0, client->m_inFlight - 1);
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *client = static_cast<MqttClient *>(self);
    client->m_inbox.push_back({ QByteArray(message->topic),
                                QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
                                message->retain });
}

} // namespace koru::bridge

#include "bridge/mqtt/mqttservice.h"

#include "bridge/mqtt/mqttclient.h"
#include "bridge/projectormodel.h"
#include "line/exchange.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>

namespace koru::bridge {

namespace {

QString commandOutcomeText(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done:
        return QString();
    case CommandOutcome::Refused:
        return QStringLiteral("the projector refused it (NAK)");
    case CommandOutcome::NotPossibleNow:
        return QStringLiteral("not possible now: the projector is cooling down");
    case CommandOutcome::NoAnswer:
        return QStringLiteral("no answer from the projector");
    case CommandOutcome::UnknownCommand:
        return QStringLiteral("unknown command");
    }
    return QString();
}

// The result words of koru-ctl's object, and the bridge's own for what it
// did not send.
const char *commandOutcomeWord(CommandOutcome outcome)
{
    switch (outcome) {
    case CommandOutcome::Done:
        return "answered";
    case CommandOutcome::Refused:
        return "refused";
    case CommandOutcome::NotPossibleNow:
        return "not-possible-now";
    case CommandOutcome::NoAnswer:
        return "no-reply";
    case CommandOutcome::UnknownCommand:
        return "bad-request";
    }
    return "";
}

// A request refused before it reached the projector, in the shape of
// koru-ctl's object so that one reader takes both.
QByteArray refusalJson(const QString &name, const QJsonValue &code, const char *result, const QString &why)
{
    const QJsonObject object { { QStringLiteral("name"), name },
                               { QStringLiteral("code"), code },
                               { QStringLiteral("result"), QLatin1String(result) },
                               { QStringLiteral("error"), why } };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray badRequestJson(const QByteArray &payload, const QString &why)
{
    return refusalJson(QString::fromLatin1(payload.left(kMaxRequestPayload)), QJsonValue(), "bad-request", why);
}

QString busyText()
{
    return QStringLiteral("%1 requests wait for the projector's line already").arg(MqttService::kMaxWaitingRequests);
}

// A command the bridge did not send, in the same shape.
QByteArray notSentJson(const Command &command, const QString &why)
{
    return refusalJson(QLatin1String(command.name), QLatin1String(command.code),
                       commandOutcomeWord(CommandOutcome::NotPossibleNow), why);
}

} // namespace

MqttService::MqttService(const MqttConfig &config, std::vector<MqttProjector> projectors, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_projectors(std::move(projectors))
    , m_client(new MqttClient(config, this))
{
    connect(m_client, &MqttClient::connected, this, &MqttService::connected);
    connect(m_client, &MqttClient::disconnected, this, [this](const QString &reason) {
        emit notice(QStringLiteral("MQTT: broker %1:%2 not connected: %3; trying again")
                        .arg(m_config.host)
                        .arg(m_config.port)
                        .arg(reason));
    });
    connect(m_client, &MqttClient::messageReceived, this, &MqttService::received);
    connect(m_client, &MqttClient::stopped, this, &MqttService::stopped);

    // Subscribed again by the client at every connect; the previous list
    // of projectors comes first, being retained.
    m_client->subscribe(bridgeProjectorsTopic(m_config.baseTopic, m_client->clientId()));
    m_client->subscribe(homeAssistantStatusTopic(m_config.discoveryPrefix));
    for (const MqttProjector &projector : m_projectors)
        follow(projector);
}

void MqttService::follow(const MqttProjector &projector)
{
    // Requests with the retain flag as published: a retained one is told
    // from a live one even as it is published.
    m_client->subscribe(setTopicFilter(m_config.baseTopic, projector.identity.id), MqttClient::RetainFlag::AsPublished);
    m_client->subscribe(commandTopic(m_config.baseTopic, projector.identity.id), MqttClient::RetainFlag::AsPublished);
    // Found by its model, which stays the projector's until a reload
    // replaces it: the list itself may change.
    ProjectorModel *model = projector.model;
    connect(model, &ProjectorModel::changed, this, [this, model] {
        const MqttProjector *self = projectorByModel(model);
        if (self && m_client->isConnected())
            publishState(*self);
    });
}

void MqttService::setProjectors(std::vector<MqttProjector> projectors)
{
    std::vector<MqttProjector> before = std::move(m_projectors);
    m_projectors = std::move(projectors);
    for (const MqttProjector &old : before) {
        disconnect(old.model, nullptr, this, nullptr);
        if (projectorById(old.identity.id))
            continue;
        m_client->unsubscribe(setTopicFilter(m_config.baseTopic, old.identity.id));
        m_client->unsubscribe(commandTopic(m_config.baseTopic, old.identity.id));
        emit notice(QStringLiteral("MQTT: [%1] no longer configured: its topics cleared").arg(old.identity.id));
        clearTopics(old.identity.id);
    }
    const bool connected = m_client->isConnected();
    for (const MqttProjector &projector : m_projectors) {
        follow(projector);
        const auto same = std::find_if(before.begin(), before.end(), [&projector](const MqttProjector &old) {
            return old.model == projector.model;
        });
        if (same != before.end() || !connected)
            continue;
        // Its name may have changed: Home Assistant hears it again.
        for (const RetainedMessage &message : projectorDiscovery(m_config, m_client->clientId(), projector.identity))
            m_client->publish(message.topic, message.payload, true);
        publishState(projector);
    }
    if (connected)
        publishProjectorList();
}

std::optional<QString> MqttService::start()
{
    return m_client->start();
}

void MqttService::stop()
{
    if (m_client->isConnected()) {
        for (const MqttProjector &projector : m_projectors)
            publishRetained(stateTopic(m_config.baseTopic, projector.identity.id, StateTopic::Availability), kOffline);
    }
    m_client->stop();
}

void MqttService::connected()
{
    emit notice(QStringLiteral("MQTT: connected to %1:%2 as %3").arg(m_config.host).arg(m_config.port).arg(m_client->clientId()));
    m_published.clear();
    publishDiscovery();
    for (const MqttProjector &projector : m_projectors)
        publishState(projector);
    publishProjectorList();
}

void MqttService::publishProjectorList()
{
    QJsonArray ids;
    for (const MqttProjector &projector : m_projectors)
        ids.append(projector.identity.id);
    m_client->publish(bridgeProjectorsTopic(m_config.baseTopic, m_client->clientId()),
                      QJsonDocument(ids).toJson(QJsonDocument::Compact), true);
}

void MqttService::publishDiscovery()
{
    const RetainedMessage bridge = bridgeDiscovery(m_config, m_client->clientId());
    m_client->publish(bridge.topic, bridge.payload, true);
    for (const MqttProjector &projector : m_projectors) {
        for (const RetainedMessage &message : projectorDiscovery(m_config, m_client->clientId(), projector.identity))
            m_client->publish(message.topic, message.payload, true);
    }
}

void MqttService::publishRetained(const QByteArray &topic, const QByteArray &payload)
{
    auto last = m_published.find(topic);
    if (last != m_published.end() && *last == payload)
        return;
    if (m_client->publish(topic, payload, true))
        m_published.insert(topic, payload);
}

void MqttService::publishState(const MqttProjector &projector)
{
    const ProjectorState &state = projector.model->state();
    const QString &id = projector.identity.id;
    const QString &base = m_config.baseTopic;
    // A value the projector has not told (yet) keeps what was published;
    // the availability says whether to trust it.
    publishRetained(stateTopic(base, id, StateTopic::Availability),
                    state.lineAvailable && state.answering ? kOnline : kOffline);
    if (state.power) {
        publishRetained(stateTopic(base, id, StateTopic::Power), powerWord(*state.power));
        publishRetained(stateTopic(base, id, StateTopic::Problem), onOffWord(isProblem(*state.power)));
    }
    if (!state.statusWords.isEmpty())
        publishRetained(stateTopic(base, id, StateTopic::Status), state.statusWords.toLatin1());
    if (state.input)
        publishRetained(stateTopic(base, id, StateTopic::Input), inputWord(*state.input));
    if (state.lampHours)
        publishRetained(stateTopic(base, id, StateTopic::LampHours), QByteArray::number(state.lampHours->hours));
    publishRetained(stateTopic(base, id, StateTopic::AudioMute), onOffWord(state.audioMuted));
    publishRetained(stateTopic(base, id, StateTopic::VideoMute), onOffWord(state.videoMuted));
}

void MqttService::clearRemoved(const QByteArray &previousList)
{
    QSet<QString> configured;
    for (const MqttProjector &projector : m_projectors)
        configured.insert(projector.identity.id);
    for (const QJsonValue &value : QJsonDocument::fromJson(previousList).array()) {
        const QString id = value.toString();
        if (!isTopicLevel(id) || configured.contains(id))
            continue;
        emit notice(QStringLiteral("MQTT: [%1] no longer configured: its topics cleared").arg(id));
        clearTopics(id);
    }
}

void MqttService::clearTopics(const QString &id)
{
    // An empty retained message removes the retained one.
    for (const QByteArray &topic : projectorDiscoveryTopics(m_config, id))
        m_client->publish(topic, QByteArray(), true);
    for (const StateTopicRow &row : stateTopicTable()) {
        const QByteArray topic = stateTopic(m_config.baseTopic, id, row.topic);
        m_client->publish(topic, QByteArray(), true);
        m_published.remove(topic);
    }
}

bool MqttService::admit(const MqttProjector &projector)
{
    const QString &id = projector.identity.id;
    int &waiting = m_waiting[id];
    if (waiting < kMaxWaitingRequests) {
        ++waiting;
        return true;
    }
    if (m_refused[id]++ == 0)
        emit notice(QStringLiteral("MQTT: [%1] busy: %2; more are refused until it catches up").arg(id, busyText()));
    return false;
}

void MqttService::carriedOut(const QString &id)
{
    --m_waiting[id];
    if (const int refused = m_refused.value(id); refused > 0 && m_waiting[id] == 0) {
        m_refused.remove(id);
        emit notice(QStringLiteral("MQTT: [%1] caught up; %2 requests were refused as busy").arg(id).arg(refused));
    }
}

const MqttProjector *MqttService::projectorById(const QString &id) const
{
    for (const MqttProjector &projector : m_projectors) {
        if (projector.identity.id == id)
            return &projector;
    }
    return nullptr;
}

const MqttProjector *MqttService::projectorByModel(const ProjectorModel *model) const
{
    for (const MqttProjector &projector : m_projectors) {
        if (projector.model == model)
            return &projector;
    }
    return nullptr;
}

void MqttService::received(const QByteArray &topic, const QByteArray &payload, bool retained)
{
    if (topic == bridgeProjectorsTopic(m_config.baseTopic, m_client->clientId())) {
        // Our own list comes back live too; only the retained one is the past.
        if (retained)
            clearRemoved(payload);
        return;
    }
    if (topic == homeAssistantStatusTopic(m_config.discoveryPrefix)) {
        // Home Assistant (re)started and forgot what it was told.
        if (!retained && payload == kOnline)
            publishDiscovery();
        return;
    }
    const std::optional<Route> route = routeOf(m_config.baseTopic, topic);
    const MqttProjector *projector = route ? projectorById(route->id) : nullptr;
    if (!projector)
        return;
    // A retained request stays on the broker: carried out, it would come
    // back at every connect and switch the projector by itself. An empty
    // one is someone clearing it, which is right and needs no word.
    if (retained) {
        if (!payload.isEmpty() && !m_retainedSaid.contains(topic)) {
            m_retainedSaid.insert(topic);
            emit notice(QStringLiteral("MQTT: [%1] a request published retained on %2 is ignored; publish it "
                                       "without retaining, and clear the retained one with an empty message")
                            .arg(route->id, QString::fromUtf8(topic)));
        }
        return;
    }
    if (route->setting)
        request(*projector, *route, payload);
    else
        command(*projector, payload);
}

void MqttService::request(const MqttProjector &projector, const Route &route, const QByteArray &payload)
{
    const QString what = QStringLiteral("MQTT: [%1] %2").arg(projector.identity.id,
                                                            QString::fromUtf8(setTopic(m_config.baseTopic, route.id, *route.setting)));
    const QString &id = projector.identity.id;
    const ParsedSet parsed = parseSetPayload(*route.setting, payload);
    if (!parsed.value) {
        emit notice(QStringLiteral("%1: %2; nothing sent").arg(what, parsed.error));
        refuseSet(id, route, payload, "bad-request", parsed.error);
        return;
    }
    if (!projector.model->state().lineAvailable) {
        emit notice(QStringLiteral("%1: the line is down; nothing sent").arg(what));
        refuseSet(id, route, payload, "line-lost", QStringLiteral("the line is down"));
        return;
    }
    if (!admit(projector)) {
        refuseSet(id, route, payload, "busy", busyText()); // the log says it once for the whole spell
        return;
    }
    const auto report = [this, what, id, route, payload](const CommandResult &result) {
        carriedOut(id);
        if (result.outcome == CommandOutcome::Done)
            return;
        emit notice(QStringLiteral("%1: %2").arg(what, commandOutcomeText(result.outcome)));
        refuseSet(id, route, payload, commandOutcomeWord(result.outcome), commandOutcomeText(result.outcome));
    };
    ProjectorModel *model = projector.model;
    const SetValue &value = *parsed.value;
    switch (*route.setting) {
    case Setting::Power:
        model->setPower(std::get<bool>(value), this, report);
        break;
    case Setting::Input:
        model->setInput(std::get<Input>(value), this, report);
        break;
    case Setting::AudioMute:
        model->setMutes(std::nullopt, std::get<bool>(value), this, report);
        break;
    case Setting::VideoMute:
        model->setMutes(std::get<bool>(value), std::nullopt, this, report);
        break;
    }
}

void MqttService::refuseSet(const QString &id, const Route &route, const QByteArray &payload, const char *result,
                            const QString &why)
{
    const QJsonObject object { { QStringLiteral("topic"), QString::fromUtf8(setTopic(m_config.baseTopic, route.id, *route.setting)) },
                               { QStringLiteral("payload"), QString::fromLatin1(payload.left(kMaxRequestPayload)) },
                               { QStringLiteral("result"), QLatin1String(result) },
                               { QStringLiteral("error"), why } };
    m_client->publish(errorTopic(m_config.baseTopic, id), QJsonDocument(object).toJson(QJsonDocument::Compact), false);
}

void MqttService::command(const MqttProjector &projector, const QByteArray &payload)
{
    const QByteArray resultTopic = commandResultTopic(m_config.baseTopic, projector.identity.id);
    const ParsedCommand parsed = parseCommandPayload(payload);
    if (!parsed.command) {
        m_client->publish(resultTopic, badRequestJson(payload, parsed.error), false);
        return;
    }
    const Command *command = parsed.command;
    // The object koru-ctl prints, made of what the line gave for the frame;
    // a command that never reached the line was not sent for the line being down.
    const auto publishResult = [this, resultTopic, command](const std::optional<line::Result> &sent) {
        line::Exchange exchange { command, sent.value_or(line::Result {}) };
        if (!sent) {
            exchange.result.outcome = line::Outcome::LineLost;
            exchange.result.frame = frame(*command);
        }
        m_client->publish(resultTopic, line::formatJson(exchange).toUtf8(), false);
    };
    // Not queued for later: whoever sent it wants to know now.
    if (!projector.model->state().lineAvailable) {
        publishResult(std::nullopt);
        return;
    }
    if (!admit(projector)) {
        m_client->publish(resultTopic, refusalJson(QLatin1String(command->name), QLatin1String(command->code), "busy", busyText()),
                          false);
        return;
    }
    projector.model->runCommand(QString::fromLatin1(command->name), this,
                                [this, resultTopic, command, publishResult, id = projector.identity.id](const CommandResult &result) {
                                    carriedOut(id);
                                    // Not sent, the bridge knowing the projector cannot now.
                                    if (result.outcome == CommandOutcome::NotPossibleNow) {
                                        m_client->publish(resultTopic,
                                                          notSentJson(*command, commandOutcomeText(result.outcome)), false);
                                        return;
                                    }
                                    publishResult(result.last);
                                });
}

} // namespace koru::bridge

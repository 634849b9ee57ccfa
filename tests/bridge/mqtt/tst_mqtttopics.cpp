// The MQTT side's pure parts: where a request topic leads and what its
// payload means, the [mqtt] keys, and what Home Assistant is told.
#include "bridge/configfile.h"
#include "bridge/mqtt/mqttconfig.h"
#include "bridge/mqtt/mqttdiscovery.h"
#include "bridge/mqtt/mqtttopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace koru;
using namespace koru::bridge;

class TestMqttTopics : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void mqttSection_data();
    void mqttSection();
    void discoveryTellsHomeAssistantEverything();
};

void TestMqttTopics::requests_data()
{
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("meaning"); // on/off, the input, the command's code; "" refused; "-" not a request

    QTest::newRow("power on") << QByteArray("koru/r.1/power/set") << QByteArray("ON") << "on";
    QTest::newRow("power with newline") << QByteArray("koru/r.1/power/set") << QByteArray("ON\n") << "on";
    QTest::newRow("power mixed case, blanks") << QByteArray("koru/r.1/power/set") << QByteArray(" \tOn \r\n") << "on";
    QTest::newRow("power half a word") << QByteArray("koru/r.1/power/set") << QByteArray("O N") << "";
    QTest::newRow("power empty") << QByteArray("koru/r.1/power/set") << QByteArray() << "";
    QTest::newRow("audio mute, power word") << QByteArray("koru/r.1/audio_mute/set") << QByteArray("warming") << "";
    QTest::newRow("input video") << QByteArray("koru/r.1/input/set") << QByteArray("Video") << "Video";
    QTest::newRow("input any case") << QByteArray("koru/r.1/input/set") << QByteArray("VIDEO") << "Video";
    QTest::newRow("command") << QByteArray("koru/r.1/command") << QByteArray("vol-up") << "C09";
    QTest::newRow("command from echo") << QByteArray("koru/r.1/command") << QByteArray("vol-up\n") << "C09";
    QTest::newRow("command not ascii") << QByteArray("koru/r.1/command") << QByteArray("vol-up\xff") << "";
    QTest::newRow("lamp hours cannot be set") << QByteArray("koru/r.1/lamp_hours/set") << QByteArray("1") << "-";
    QTest::newRow("other base") << QByteArray("kor/r.1/power/set") << QByteArray("ON") << "-";
}

void TestMqttTopics::requests()
{
    QFETCH(QByteArray, topic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, meaning);

    const std::optional<Route> route = routeOf(QStringLiteral("koru"), topic);
    QCOMPARE(!route, meaning == u"-");
    if (!route)
        return;
    QCOMPARE(route->id, u"r.1");
    QString got, error;
    if (route->setting) {
        QCOMPARE(setTopic(QStringLiteral("koru"), route->id, *route->setting), topic); // and back
        const ParsedSet parsed = parseSetPayload(*route->setting, payload);
        error = parsed.error;
        if (parsed.value && std::holds_alternative<Input>(*parsed.value))
            got = QString::fromLatin1(inputWord(std::get<Input>(*parsed.value)));
        else if (parsed.value)
            got = std::get<bool>(*parsed.value) ? QStringLiteral("on") : QStringLiteral("off");
    } else {
        const ParsedCommand parsed = parseCommandPayload(payload);
        error = parsed.error;
        got = parsed.command ? QString::fromLatin1(parsed.command->code) : QString();
    }
    QCOMPARE(got, meaning);
    QCOMPARE(error.isEmpty(), !meaning.isEmpty());
}

void TestMqttTopics::mqttSection_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("problemKey"); // empty: accepted

    QTest::newRow("full") << "host = 10.0.0.2\nport = 8883\nclient-id = b7\nbase-topic = site/koru\nkeepalive = 30\n" << "";
    QTest::newRow("no host") << "port = 1883\n" << "host";
    QTest::newRow("port zero") << "host = h\nport = 0\n" << "port";
    QTest::newRow("wildcard base") << "host = h\nbase-topic = koru/#\n" << "base-topic";
    QTest::newRow("broker's own prefix") << "host = h\ndiscovery-prefix = $SYS\n" << "discovery-prefix";
    QTest::newRow("client id with slash") << "host = h\nclient-id = a/b\n" << "client-id";
    QTest::newRow("unknown key") << "host = h\nhostname = x\n" << "hostname";
}

void TestMqttTopics::mqttSection()
{
    QFETCH(QString, section);
    QFETCH(QString, problemKey);

    const ConfigFile file = readConfigFile(QStringLiteral("[mqtt]\n") + section, { { QStringLiteral("mqtt"), false } });
    QVERIFY(!file.problem);
    MqttConfig config;
    std::vector<BoundKey> keys;
    appendBound(keys, mqttKeys(), config);
    std::optional<ConfigProblem> problem = applySection(file.sections.front(), keys);
    if (!problem)
        problem = checkMqtt(config, QStringLiteral("mqtt"));
    QCOMPARE(problem ? problem->key : QString(), problemKey);
    if (!problem)
        QCOMPARE(config.baseTopic, u"site/koru");
}

void TestMqttTopics::discoveryTellsHomeAssistantEverything()
{
    MqttConfig config;
    const auto messages = projectorDiscovery(config, QStringLiteral("br"), { QStringLiteral("room-2.14"), QStringLiteral("Room 2.14"), QStringLiteral("LMV5") });
    QSet<QString> uniqueIds;
    QMap<QByteArray, QJsonObject> byObject;
    std::vector<QByteArray> topics;
    for (const RetainedMessage &message : messages) {
        topics.push_back(message.topic);
        const QJsonObject object = QJsonDocument::fromJson(message.payload).object();
        uniqueIds << object.value(u"unique_id").toString();
        byObject.insert(message.topic.split('/').at(3), object);
        const QJsonObject device = object.value(u"device").toObject();
        QCOMPARE(device.value(u"manufacturer").toString() + device.value(u"model").toString() + device.value(u"name").toString()
                     + device.value(u"via_device").toString(),
                 u"KORULMV5Room 2.14br");
        QCOMPARE(object.value(u"availability_mode").toString() + object.value(u"availability").toArray().at(1).toObject().value(u"topic").toString(),
                 u"allkoru/bridge/br/availability");
    }
    QCOMPARE(uniqueIds.size(), 7);
    // Home Assistant takes only [a-zA-Z0-9_-] in a topic's object ids.
    QCOMPARE(messages.front().topic, QByteArray("homeassistant/switch/koru_room-2_2e14/power/config"));
    QCOMPARE(byObject.value("lamp_hours").value(u"state_class").toString(), u"total_increasing");
    QCOMPARE(byObject.value("lamp_hours").value(u"unit_of_measurement").toString(), u"h");
    QCOMPARE(byObject.value("input").value(u"options").toArray().toVariantList(), QVariantList({ "PC", "MCI", "Video" }));
    QCOMPARE(byObject.value("power").value(u"command_topic").toString(), u"koru/room-2.14/power/set");
    // What a removed projector leaves to clear is what was published.
    QCOMPARE(projectorDiscoveryTopics(config, QStringLiteral("room-2.14")), topics);
    QVERIFY(discoveryObjectId(QStringLiteral("a_2e")) != discoveryObjectId(QStringLiteral("a.")));
}

QTEST_GUILESS_MAIN(TestMqttTopics)
#include "tst_mqtttopics.moc"

// The MQTT side's pure parts: what a /set or command payload means, where a
// topic leads, the [mqtt] keys, and what Home Assistant is told.
#include "bridge/mqttconfig.h"
#include "bridge/mqttdiscovery.h"
#include "bridge/mqtttopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace koru;
using namespace koru::bridge;

Q_DECLARE_METATYPE(Setting)

class TestMqttTopics : public QObject
{
    Q_OBJECT

private slots:
    void setPayload_data();
    void setPayload();
    void commandPayload_data();
    void commandPayload();
    void route_data();
    void route();
    void configKey_data();
    void configKey();
    void discoveryTellsHomeAssistantEverything();
    void objectIdsNeverMeet();
};

void TestMqttTopics::setPayload_data()
{
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("value"); // "on", "off", the input word, or empty: refused

    QTest::newRow("power on") << Setting::Power << QByteArray("ON") << "on";
    QTest::newRow("power off") << Setting::Power << QByteArray("OFF") << "off";
    QTest::newRow("power lower case") << Setting::Power << QByteArray("on") << "";
    QTest::newRow("power with newline") << Setting::Power << QByteArray("ON\n") << "";
    QTest::newRow("power empty") << Setting::Power << QByteArray() << "";
    QTest::newRow("audio mute on") << Setting::AudioMute << QByteArray("ON") << "on";
    QTest::newRow("video mute off") << Setting::VideoMute << QByteArray("OFF") << "off";
    QTest::newRow("mute word of power state") << Setting::VideoMute << QByteArray("warming") << "";
    QTest::newRow("input pc") << Setting::Input << QByteArray("PC") << "PC";
    QTest::newRow("input mci") << Setting::Input << QByteArray("MCI") << "MCI";
    QTest::newRow("input video") << Setting::Input << QByteArray("Video") << "Video";
    QTest::newRow("input wrong case") << Setting::Input << QByteArray("VIDEO") << "";
    QTest::newRow("input on") << Setting::Input << QByteArray("ON") << "";
    QTest::newRow("oversized") << Setting::Input << QByteArray(kMaxRequestPayload + 1, 'P') << "";
}

void TestMqttTopics::setPayload()
{
    QFETCH(Setting, setting);
    QFETCH(QByteArray, payload);
    QFETCH(QString, value);

    const ParsedSet parsed = parseSetPayload(setting, payload);
    if (value.isEmpty()) {
        QVERIFY(!parsed.value);
        QVERIFY(!parsed.error.isEmpty());
        return;
    }
    QVERIFY2(parsed.value, qPrintable(parsed.error));
    if (const Input *input = std::get_if<Input>(&*parsed.value))
        QCOMPARE(QString::fromLatin1(inputWord(*input)), value);
    else
        QCOMPARE(std::get<bool>(*parsed.value), value == u"on");
}

void TestMqttTopics::commandPayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("code"); // empty: refused

    QTest::newRow("vol-up") << QByteArray("vol-up") << "C09";
    QTest::newRow("status query") << QByteArray("status") << "CR0";
    QTest::newRow("unknown") << QByteArray("self-destruct") << "";
    QTest::newRow("a code is no name") << QByteArray("C09") << "";
    QTest::newRow("trailing blank") << QByteArray("vol-up ") << "";
    QTest::newRow("not ascii") << QByteArray("vol-up\xff") << "";
    QTest::newRow("oversized") << QByteArray(1000, 'x') << "";
}

void TestMqttTopics::commandPayload()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, code);

    const ParsedCommand parsed = parseCommandPayload(payload);
    QCOMPARE(parsed.command ? QString::fromLatin1(parsed.command->code) : QString(), code);
    QCOMPARE(parsed.error.isEmpty(), !code.isEmpty());
}

void TestMqttTopics::route_data()
{
    QTest::addColumn<QByteArray>("topic");
    QTest::addColumn<QString>("id");     // empty: not routed
    QTest::addColumn<QString>("target"); // the setting's topic leaf, or "command"

    QTest::newRow("power set") << QByteArray("koru/room-2.14/power/set") << "room-2.14" << "power";
    QTest::newRow("input set") << QByteArray("koru/a/input/set") << "a" << "input";
    QTest::newRow("audio mute set") << QByteArray("koru/a/audio_mute/set") << "a" << "audio_mute";
    QTest::newRow("command") << QByteArray("koru/a/command") << "a" << "command";
    QTest::newRow("lamp hours cannot be set") << QByteArray("koru/a/lamp_hours/set") << "" << "";
    QTest::newRow("state topic") << QByteArray("koru/a/power") << "" << "";
    QTest::newRow("result topic") << QByteArray("koru/a/command/result") << "" << "";
    QTest::newRow("other base") << QByteArray("kor/a/power/set") << "" << "";
    QTest::newRow("empty id") << QByteArray("koru//command") << "" << "";
}

void TestMqttTopics::route()
{
    QFETCH(QByteArray, topic);
    QFETCH(QString, id);
    QFETCH(QString, target);

    const std::optional<Route> route = routeOf(QStringLiteral("koru"), topic);
    QCOMPARE(route ? route->id : QString(), id);
    if (!route)
        return;
    if (target == u"command") {
        QVERIFY(!route->setting);
    } else {
        QVERIFY(route->setting);
        // The way back: the route's setting names this very topic.
        QCOMPARE(setTopic(QStringLiteral("koru"), id, *route->setting), topic);
    }
}

void TestMqttTopics::configKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("port") << "port" << "8883" << true;
    QTest::newRow("port zero") << "port" << "0" << false;
    QTest::newRow("port too big") << "port" << "65536" << false;
    QTest::newRow("keepalive") << "keepalive" << "30" << true;
    QTest::newRow("keepalive too short") << "keepalive" << "1" << false;
    QTest::newRow("keepalive not a number") << "keepalive" << "30s" << false;
    QTest::newRow("base topic") << "base-topic" << "site/koru" << true;
    QTest::newRow("base topic wildcard") << "base-topic" << "koru/#" << false;
    QTest::newRow("base topic empty level") << "base-topic" << "koru/" << false;
    QTest::newRow("discovery prefix of the broker") << "discovery-prefix" << "$SYS" << false;
    QTest::newRow("client id") << "client-id" << "bridge-7" << true;
    QTest::newRow("client id with slash") << "client-id" << "a/b" << false;
    QTest::newRow("unknown") << "hostname" << "x" << false;
}

void TestMqttTopics::configKey()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, accepted);

    MqttConfig config;
    const std::optional<QString> error = setMqttKey(config, key, value);
    QCOMPARE(!error, accepted);
}

void TestMqttTopics::discoveryTellsHomeAssistantEverything()
{
    MqttConfig config;
    const QString id = QStringLiteral("room-2.14");
    const auto messages = projectorDiscovery(config, QStringLiteral("koru-bridge-h"), { id, QStringLiteral("Room 2.14"), QStringLiteral("LMV5") });
    QCOMPARE(messages.size(), size_t(7));

    QSet<QString> uniqueIds;
    QMap<QString, QJsonObject> byObject;
    for (const RetainedMessage &message : messages) {
        QVERIFY(message.topic.startsWith("homeassistant/"));
        QVERIFY(message.topic.endsWith("/config"));
        const QJsonObject object = QJsonDocument::fromJson(message.payload).object();
        uniqueIds << object.value(u"unique_id").toString();
        byObject.insert(QString::fromUtf8(message.topic.split('/').at(3)), object);

        const QJsonObject device = object.value(u"device").toObject();
        QCOMPARE(device.value(u"manufacturer").toString(), u"KORU");
        QCOMPARE(device.value(u"model").toString(), u"LMV5");
        QCOMPARE(device.value(u"name").toString(), u"Room 2.14");
        QCOMPARE(device.value(u"via_device").toString(), u"koru-bridge-h");
        QCOMPARE(device.value(u"identifiers").toArray().size(), 1);
        QCOMPARE(object.value(u"availability_mode").toString(), u"all");
        QStringList availability;
        for (const QJsonValue &entry : object.value(u"availability").toArray())
            availability << entry.toObject().value(u"topic").toString();
        QCOMPARE(availability, QStringList({ QStringLiteral("koru/room-2.14/availability"),
                                             QStringLiteral("koru/bridge/koru-bridge-h/availability") }));
        QVERIFY(object.value(u"state_topic").toString().startsWith(u"koru/room-2.14/"));
    }
    QCOMPARE(uniqueIds.size(), 7);
    QCOMPARE(byObject.value(QStringLiteral("lamp_hours")).value(u"unit_of_measurement").toString(), u"h");
    QCOMPARE(byObject.value(QStringLiteral("lamp_hours")).value(u"state_class").toString(), u"total_increasing");
    QCOMPARE(byObject.value(QStringLiteral("input")).value(u"options").toArray().toVariantList(),
             QVariantList({ QStringLiteral("PC"), QStringLiteral("MCI"), QStringLiteral("Video") }));
    QCOMPARE(byObject.value(QStringLiteral("power")).value(u"command_topic").toString(), u"koru/room-2.14/power/set");
    QVERIFY(!byObject.value(QStringLiteral("status")).contains(u"command_topic"));

    // What a removed projector leaves to clear is exactly what was published.
    std::vector<QByteArray> published;
    for (const RetainedMessage &message : messages)
        published.push_back(message.topic);
    QCOMPARE(projectorDiscoveryTopics(config, id), published);
}

void TestMqttTopics::objectIdsNeverMeet()
{
    const QStringList ids { QStringLiteral("room-2.14"), QStringLiteral("room-2_14"), QStringLiteral("room-2_2e14"),
                            QStringLiteral("Room-2.14"), QStringLiteral("room 2.14") };
    QSet<QString> objects;
    for (const QString &id : ids) {
        const QString object = discoveryObjectId(id);
        for (QChar c : object)
            QVERIFY2(c.isLetterOrNumber() || c == u'_' || c == u'-', qPrintable(object));
        objects << object;
    }
    QCOMPARE(objects.size(), ids.size());
}

QTEST_GUILESS_MAIN(TestMqttTopics)
#include "tst_mqtttopics.moc"

#include "sim/projectorstate.h"

#include "protocol/catalogue.h"
#include "protocol/replyreading.h"

#include <algorithm>
#include <cstdint>

namespace koru::sim {

namespace {

bool is(const QByteArray &body, std::string_view code)
{
    return body == QByteArrayView(code.data(), qsizetype(code.size()));
}

QByteArray withCr(QByteArray text)
{
    text.append(kCr);
    return text;
}

} // namespace

bool ProjectorSetup::isValidSetting(const QByteArray &setting)
{
    return setting == "11" || setting == "10" || setting == "01" || setting == "00";
}

ProjectorState::ProjectorState(const ProjectorSetup &setup, std::chrono::milliseconds now)
    : m_setup(setup)
    , m_now(now)
    , m_input(setup.input >= '1' && setup.input <= '3' ? setup.input : '1')
    , m_setting(ProjectorSetup::isValidSetting(setup.setting) ? setup.setting : QByteArray("11"))
{
    m_setup.lampHours = std::clamp(m_setup.lampHours, 0, MaxLampHours);
    if (m_setup.lampHourLength <= std::chrono::milliseconds(0))
        m_setup.lampHourLength = std::chrono::hours(1);
}

QByteArray ProjectorState::acknowledgement()
{
    return QByteArray(kAckCr);
}

QByteArray ProjectorState::rejection()
{
    return QByteArray(kNakCr);
}

QByteArray ProjectorState::answer(const Frame &frame, std::chrono::milliseconds now)
{
    if (!frame.isCommand())
        return rejection();

    advanceTo(now);
    const QByteArray &code = frame.body;

    if (is(code, query::Status))
        return powerReply(now);
    if (is(code, query::Mode))
        return withCr(QByteArray(1, m_input));
    if (is(code, query::LampTime))
        return lampReply(now);
    if (is(code, query::Setting))
        return withCr(m_setting);

    if (code == "C00") {
        // Switching on is only possible from standby; during cooling the
        // projector refuses silently, as the real one protects its lamp.
        if (m_power == PowerState::Standby) {
            m_power = PowerState::CountDown;
            m_phaseEnd = m_now + m_setup.countDown;
            advanceTo(now);
        }
    } else if (code == "C01" || code == "C02") {
        if (m_power == PowerState::CountDown || m_power == PowerState::On) {
            m_power = PowerState::CoolingDown;
            m_phaseEnd = m_now + m_setup.coolingDown;
            advanceTo(now);
        }
    } else if (code == "C05") {
        m_input = '1';
    } else if (code == "C06") {
        m_input = '2';
    } else if (code == "C07") {
        m_input = '3';
    }
    return acknowledgement();
}

PowerState ProjectorState::power(std::chrono::milliseconds now)
{
    advanceTo(now);
    return m_power;
}

int ProjectorState::lampHours(std::chrono::milliseconds now)
{
    advanceTo(now);
    const auto counted = m_lampTime / m_setup.lampHourLength;
    return int(std::min<std::int64_t>(m_setup.lampHours + counted, MaxLampHours));
}

void ProjectorState::runLampUntil(std::chrono::milliseconds t)
{
    if (m_power == PowerState::CountDown || m_power == PowerState::On)
        m_lampTime += t - m_now;
    m_now = t;
}

// Brings the state up to `now`, ending a count down or a cooling phase at the
// moment it was due, so the lamp counts exactly the time it was lit. A clock
// that goes backwards is treated as standing still.
void ProjectorState::advanceTo(std::chrono::milliseconds now)
{
    if (now < m_now)
        return;
    if ((m_power == PowerState::CountDown || m_power == PowerState::CoolingDown) && now >= m_phaseEnd) {
        runLampUntil(m_phaseEnd);
        m_power = m_power == PowerState::CountDown ? PowerState::On : PowerState::Standby;
    }
    runLampUntil(now);
}

QByteArray ProjectorState::powerReply(std::chrono::milliseconds now)
{
    switch (power(now)) {
    case PowerState::Standby:
        return withCr("80");
    case PowerState::CountDown:
        return withCr("40");
    case PowerState::On:
        return withCr("00");
    case PowerState::CoolingDown:
        return withCr("20");
    }
    return withCr("80");
}

QByteArray ProjectorState::lampReply(std::chrono::milliseconds now)
{
    return withCr(QByteArray::number(lampHours(now)).rightJustified(4, '0'));
}

} // namespace koru::sim

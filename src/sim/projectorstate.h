#pragma once

#include "sim/framereader.h"

#include <QByteArray>

#include <chrono>

namespace koru::sim {

enum class PowerState { Standby, CountDown, On, CoolingDown };

// How the simulated projector behaves when it is switched on; all of it can
// be chosen on the simulator's command line.
struct ProjectorSetup
{
    std::chrono::milliseconds countDown { 3000 };
    std::chrono::milliseconds coolingDown { 5000 };
    // The lamp time that makes one hour of the lamp counter; shorter than a
    // real hour to watch the counter move in a demonstration.
    std::chrono::milliseconds lampHourLength { std::chrono::hours(1) };
    int lampHours = 0; // at start, 0 to 9999
    char input = '1'; // '1' computer, '2' MCI, '3' video
    QByteArray setting = "11"; // "11", "10", "01" or "00"

    static bool isValidSetting(const QByteArray &setting);
};

// The projector itself, without any I/O: its state and the reply it gives to
// each frame. Time is handed in by the caller (any monotonic clock, in
// milliseconds), so that power transitions and lamp hours can be tested
// without waiting.
class ProjectorState
{
public:
    static constexpr int MaxLampHours = 9999;

    explicit ProjectorState(const ProjectorSetup &setup = {},
                            std::chrono::milliseconds now = std::chrono::milliseconds(0));

    // Acts on one frame received at `now` and returns the reply to it, CR
    // included: the status digits for a query, ACK CR for any other command
    // code, NAK CR for anything that is not a command code.
    QByteArray answer(const Frame &frame, std::chrono::milliseconds now);

    PowerState power(std::chrono::milliseconds now);
    int lampHours(std::chrono::milliseconds now);
    char input() const { return m_input; }
    QByteArray setting() const { return m_setting; }

    static QByteArray acknowledgement(); // ACK CR
    static QByteArray rejection(); // NAK CR

private:
    void advanceTo(std::chrono::milliseconds now);
    void runLampUntil(std::chrono::milliseconds t);
    QByteArray powerReply(std::chrono::milliseconds now);
    QByteArray lampReply(std::chrono::milliseconds now);

    ProjectorSetup m_setup;
    PowerState m_power = PowerState::Standby;
    std::chrono::milliseconds m_now;
    std::chrono::milliseconds m_phaseEnd { 0 };
    std::chrono::milliseconds m_lampTime { 0 };
    char m_input;
    QByteArray m_setting;
};

} // namespace koru::sim

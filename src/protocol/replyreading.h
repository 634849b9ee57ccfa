#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <variant>

namespace koru {

// The bytes every reply is built from.
inline constexpr char kCr = '\r';
inline constexpr char kAck = 0x06;
inline constexpr char kNak = 0x15;
// The acknowledgement of a plain command and the refusal of any frame.
inline constexpr char kAckCr[] = { kAck, kCr, 0 };
inline constexpr char kNakCr[] = { kNak, kCr, 0 };
// What the RXD line and koru-ctl show when nothing came within the reply wait.
inline constexpr char kNoReplyText[] = " X X X X";

// STATUS: every row of the projector's status table.
enum class PowerState {
    On,                     // "00"
    StandBy,                // "80"
    CountDown,              // "40" (warming up)
    CoolingDown,            // "20"
    PowerAbnormality,       // "10"
    TemperatureAbnormality, // "88" or "28"
    KeyInputProhibition,    // "02"
};

// MODE: the input in use.
enum class Input { Computer, Mci, Video };

// SETTING: how the image is turned.
enum class ImageSetting { Normal, TopBottomReversal, LeftRightReversal, BothReversed };

struct LampHours
{
    int hours = 0;
    friend bool operator==(LampHours a, LampHours b) { return a.hours == b.hours; }
    friend bool operator<(LampHours a, LampHours b) { return a.hours < b.hours; }
};

using Reading = std::variant<PowerState, Input, LampHours, ImageSetting>;

// Whether `code` (three bytes, no CR) is one of the four queries, whose
// replies are digits instead of an acknowledgement.
bool isQueryCode(QByteArrayView code);

// The typed value of a complete reply (its CR included) to the query `code`;
// no value when `code` is no query or the reply is not one of its rows.
// A reply reads only when it is exactly one row's digits and its CR.
std::optional<Reading> readReply(QByteArrayView code, QByteArrayView reply);

// The words the STATUS line shows for a reading, leading blank included:
// " Stand by", " 0 1 2 3 Hour".
QString readingWords(const Reading &reading);

} // namespace koru

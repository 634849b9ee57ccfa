#pragma once

#include <QString>
#include <QStringView>

namespace koru {

// Where a port number leads: a serial device by its path, or a serial device
// server on the network, spoken to as raw TCP or as Telnet with the COM port
// control of RFC 2217.
struct PortAddress
{
    enum class Kind { Device, Tcp, Rfc2217 };

    Kind kind = Kind::Device;
    QString path; // Device only
    QString host; // a name or an address, IPv6 without its brackets
    quint16 port = 0;

    bool isNetwork() const { return kind != Kind::Device; }
};

struct ParsedAddress
{
    PortAddress address;
    QString error; // why the text is not an address; empty on success
};

// "tcp://HOST:PORT" and "rfc2217://HOST:PORT" (HOST a name, an IPv4 address
// or a bracketed IPv6 address) are network ports; any text without "://" is a
// device path. Anything else is refused with the reason.
ParsedAddress parsePortAddress(QStringView text);

} // namespace koru

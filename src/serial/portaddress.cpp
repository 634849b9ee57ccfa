#include "serial/portaddress.h"

#include <QHostAddress>

namespace koru {
namespace {

constexpr QStringView kSchemeMark = u"://";

ParsedAddress refuse(QStringView text, const QString &reason)
{
    return { {},
             QStringLiteral("\"%1\" is not a port address: %2. Give a device path such as /dev/ttyUSB0, "
                            "tcp://HOST:PORT or rfc2217://HOST:PORT.")
                 .arg(text.toString(), reason) };
}

bool isPortNumber(QStringView digits, quint16 *port)
{
    if (digits.isEmpty() || digits.size() > 5)
        return false;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    const uint value = digits.toUInt();
    if (value == 0 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

} // namespace

ParsedAddress parsePortAddress(QStringView text)
{
    const qsizetype mark = text.indexOf(kSchemeMark);
    if (mark < 0) {
        ParsedAddress parsed;
        parsed.address.path = text.toString();
        return parsed;
    }

    PortAddress address;
    const QStringView scheme = text.left(mark);
    if (scheme == u"tcp")
        address.kind = PortAddress::Kind::Tcp;
    else if (scheme == u"rfc2217")
        address.kind = PortAddress::Kind::Rfc2217;
    else
        return refuse(text, QStringLiteral("\"%1://\" is not a kind of port known here").arg(scheme.toString()));

    const QStringView rest = text.sliced(mark + kSchemeMark.size());
    QStringView host;
    QStringView portText;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return refuse(text, QStringLiteral("the IPv6 address has no closing ']'"));
        host = rest.sliced(1, close - 1);
        const QStringView after = rest.sliced(close + 1);
        if (!after.startsWith(u':'))
            return refuse(text, QStringLiteral("the port number is missing after the address"));
        portText = after.sliced(1);
        if (QHostAddress(host.toString()).protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(text, QStringLiteral("\"%1\" is not an IPv6 address").arg(host.toString()));
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return refuse(text, QStringLiteral("the port number is missing (HOST:PORT)"));
        host = rest.left(colon);
        portText = rest.sliced(colon + 1);
        if (host.contains(u':'))
            return refuse(text, QStringLiteral("an IPv6 address must stand in brackets, as in [::1]:4001"));
        if (host.contains(u'/') || host.contains(u'@') || host.contains(u' '))
            return refuse(text, QStringLiteral("the host \"%1\" is not a name or an address").arg(host.toString()));
    }
    if (host.isEmpty())
        return refuse(text, QStringLiteral("the host is missing"));
    if (!isPortNumber(portText, &address.port))
        return refuse(text, QStringLiteral("the port \"%1\" is not a number from 1 to 65535").arg(portText.toString()));
    address.host = host.toString();
    return { address, QString() };
}

} // namespace koru

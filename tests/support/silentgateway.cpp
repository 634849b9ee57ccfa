#include "support/silentgateway.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace koru::test {

SilentGateway::SilentGateway(bool queueFull)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::listen(m_listener, queueFull ? 0 : 16) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    if (!queueFull)
        return;
    // A backlog of 0 holds one connection; on loopback its handshake is done
    // before connect() returns.
    const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        m_port = 0;
    m_fillers.push_back(filler);
}

SilentGateway::~SilentGateway()
{
    for (int fd : m_fillers) {
        if (fd >= 0)
            ::close(fd);
    }
    if (m_listener >= 0)
        ::close(m_listener);
}

} // namespace koru::test

#pragma once

#include <QtGlobal>

#include <vector>

namespace koru::test {

// A gateway on a loopback port that never answers. With `queueFull` its
// accept queue is taken by a connection of its own, so that the kernel drops
// every further SYN and a connect to it stays pending; otherwise the kernel
// accepts the connection and nothing is ever said on it.
class SilentGateway
{
public:
    explicit SilentGateway(bool queueFull = false);
    ~SilentGateway();
    SilentGateway(const SilentGateway &) = delete;
    SilentGateway &operator=(const SilentGateway &) = delete;

    // 0 when the listener could not be set up.
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    quint16 m_port = 0;
    std::vector<int> m_fillers;
};

} // namespace koru::test

#pragma once

#include <termios.h>

namespace koru::test {

// The speed the kernel has for a terminal line, from either end of a pty.
inline speed_t lineSpeed(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return speed_t(0);
    return cfgetospeed(&tio);
}

} // namespace koru::test

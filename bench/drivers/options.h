#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

namespace koru::bench {

// "--name value" from the command line, or `fallback`.
inline std::string option(int argc, char *argv[], const char *name, const std::string &fallback = {})
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], name))
            return argv[i + 1];
    }
    return fallback;
}

// Whether "--name" is on the command line.
inline bool flag(int argc, char *argv[], const char *name)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], name))
            return true;
    }
    return false;
}

// A positive whole number from the environment, or `fallback`.
inline long environmentNumber(const char *name, long fallback)
{
    const char *text = std::getenv(name);
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 ? value : fallback;
}

} // namespace koru::bench

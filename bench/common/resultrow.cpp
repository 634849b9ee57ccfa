#include "common/resultrow.h"

#include <cstdarg>
#include <cstdio>

namespace koru::bench {

void printRow(const std::string &what, const std::string &measured, const std::string &target, bool pass)
{
    std::printf("| %s | %s | %s | %s |\n", what.c_str(), measured.c_str(), target.c_str(),
                pass ? "PASS" : "MISS");
    std::fflush(stdout);
}

void printInfoRow(const std::string &what, const std::string &measured, const std::string &note)
{
    std::printf("| %s | %s | %s | info |\n", what.c_str(), measured.c_str(), note.c_str());
    std::fflush(stdout);
}

std::string format(const char *pattern, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

void note(const char *pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    std::vfprintf(stderr, pattern, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace koru::bench

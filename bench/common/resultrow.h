#pragma once

#include <string>

namespace koru::bench {

// One row of the results table on standard output, in Markdown:
// | what | measured | target | PASS or MISS |
// bench/run gathers the rows of every program under one header.
void printRow(const std::string &what, const std::string &measured, const std::string &target, bool pass);

// A row that has no target: a figure that explains the others.
void printInfoRow(const std::string &what, const std::string &measured, const std::string &note);

// printf-style formatting into a std::string.
std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

// A line for the reader of the run (standard error), not for the table.
void note(const char *pattern, ...) __attribute__((format(printf, 1, 2)));

} // namespace koru::bench

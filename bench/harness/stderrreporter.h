#pragma once

#include "panel/reporter.h"

#include <QString>

#include <cstdio>

namespace koru::bench {

// A modal box would stop an unattended run: the panel's warnings go to
// standard error instead, where the run's log keeps them.
class StderrReporter final : public Reporter
{
public:
    void warn(QWidget *, const QString &title, const QString &message) override
    {
        std::fprintf(stderr, "panel warning (%s): %s\n", title.toLocal8Bit().constData(),
                     message.toLocal8Bit().constData());
        ++m_count;
    }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

} // namespace koru::bench

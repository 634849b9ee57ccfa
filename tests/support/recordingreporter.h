#pragma once

#include "panel/reporter.h"

#include <QStringList>
#include <functional>

namespace koru::test {

// Records every warning instead of showing a modal box.
class RecordingReporter final : public Reporter
{
public:
    void warn(QWidget *, const QString &title, const QString &message) override
    {
        titles << title;
        messages << message;
        if (onWarn)
            onWarn(message);
    }
    int count() const { return int(messages.size()); }
    void clear() { titles.clear(); messages.clear(); }

    QStringList titles;
    QStringList messages;
    std::function<void(const QString &)> onWarn; // runs "while the box is up"
};

} // namespace koru::test

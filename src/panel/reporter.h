#pragma once

#include <QString>

class QWidget;

namespace koru {

// Where the panel's warnings go. The real one shows a modal box; tests put a
// recorder in its place, since a modal box would block a headless run.
class Reporter
{
public:
    virtual ~Reporter() = default;
    // A warning with an exclamation icon and one OK button; returns once the
    // operator has dismissed it.
    virtual void warn(QWidget *parent, const QString &title, const QString &message) = 0;
};

class MessageBoxReporter final : public Reporter
{
public:
    void warn(QWidget *parent, const QString &title, const QString &message) override;
};

} // namespace koru

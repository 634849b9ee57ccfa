#pragma once

#include <QString>
#include <utility>

namespace koru {

// The outcome of a serial operation: success, or a failure with a message the
// operator can act on. Failures travel as values: nothing is thrown across the
// event loop.
class [[nodiscard]] CommResult
{
public:
    static CommResult success() { return CommResult(); }
    static CommResult failure(QString message) { return CommResult(std::move(message)); }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &message() const { return m_message; }

private:
    CommResult() = default;
    explicit CommResult(QString message)
        : m_ok(false)
        , m_message(std::move(message))
    {
    }

    bool m_ok = true;
    QString m_message;
};

} // namespace koru

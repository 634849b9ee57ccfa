#pragma once

#include "serial/openfailure.h"

#include <QString>

#include <optional>
#include <utility>

namespace koru {

// The outcome of a serial operation: success, or a failure with a message the
// operator can act on. Failures travel as values: nothing is thrown across the
// event loop. A port that could not be opened also carries the failure as
// data, for the program to word with its own options; its message names the
// port and the reason and no program's options.
class [[nodiscard]] CommResult
{
public:
    static CommResult success() { return CommResult(); }
    static CommResult failure(QString message) { return CommResult(std::move(message)); }
    static CommResult failure(const OpenFailure &failure)
    {
        CommResult result(openFailureText(openFailureLabel(failure), failure));
        result.m_openFailure = failure;
        return result;
    }

    bool ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const QString &message() const { return m_message; }
    // Set when the failure was an open that failed.
    const std::optional<OpenFailure> &openFailure() const { return m_openFailure; }

private:
    CommResult() = default;
    explicit CommResult(QString message)
        : m_ok(false)
        , m_message(std::move(message))
    {
    }

    bool m_ok = true;
    QString m_message;
    std::optional<OpenFailure> m_openFailure;
};

} // namespace koru

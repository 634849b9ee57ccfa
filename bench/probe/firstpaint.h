#pragma once

#include <QObject>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace koru::bench {

// Watches every event the application delivers and stamps the first paint
// (the first QEvent::Paint to any widget). A moment later, once the window has
// settled, it prints the stamp and the resident size on standard output as
// "first_paint_ns=..." and "rss_kib=..." and quits the application. The start-up
// benchmark runs the panel and a bare window with this same probe, so both
// are measured by one rule.
class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(std::chrono::milliseconds settle, QObject *parent);

    // Stamps a stage of start-up; printed with the rest as "stage_NAME_ns=...".
    void markStage(const std::string &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void report();

    std::chrono::milliseconds m_settle;
    std::int64_t m_firstPaintNs = 0;
    std::vector<std::pair<std::string, std::int64_t>> m_stages;
};

} // namespace koru::bench

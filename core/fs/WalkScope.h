#pragma once

#include <QtGlobal>
#include <atomic>

class StopToken;

// While it lives, gives every walk started on this thread a stop token and a counter of the
// entries it lists, when the walk's own options name none. So work that walks through code
// passing neither (the source scanners) can still be stopped and counted. Scopes nest; the
// innermost one counts.
class WalkScope
{
public:
    WalkScope(const StopToken* stop, std::atomic<qint64>* entriesSeen) noexcept;
    ~WalkScope();
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;

    // What the innermost scope of this thread gives (nothing outside any scope).
    [[nodiscard]] static const StopToken* stop() noexcept;
    [[nodiscard]] static std::atomic<qint64>* entriesSeen() noexcept;

private:
    const StopToken* m_outerStop;
    std::atomic<qint64>* m_outerEntries;
};

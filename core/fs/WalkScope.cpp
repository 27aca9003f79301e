#include "fs/WalkScope.h"

namespace {

thread_local const StopToken* t_stop = nullptr;
thread_local std::atomic<qint64>* t_entries = nullptr;

} // namespace

WalkScope::WalkScope(const StopToken* stop, std::atomic<qint64>* entriesSeen) noexcept
    : m_outerStop(t_stop), m_outerEntries(t_entries)
{
    t_stop = stop;
    t_entries = entriesSeen;
}

WalkScope::~WalkScope()
{
    t_stop = m_outerStop;
    t_entries = m_outerEntries;
}

const StopToken* WalkScope::stop() noexcept
{
    return t_stop;
}

std::atomic<qint64>* WalkScope::entriesSeen() noexcept
{
    return t_entries;
}

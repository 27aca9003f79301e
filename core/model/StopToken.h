#pragma once

#include <atomic>

// A request to stop long work early, owned by the caller and checked by the work at safe points
// (per folder walked, per block hashed, between items moved or trashed). Work that stops leaves
// nothing half done. Any thread may request the stop; requests cannot be taken back.
class StopToken
{
public:
    void requestStop() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    [[nodiscard]] bool stopRequested() const noexcept
    {
        return m_requested.load(std::memory_order_relaxed);
    }

    // Whether the optional token has been asked to stop (work without a token never stops).
    [[nodiscard]] static bool requested(const StopToken* token) noexcept
    {
        return token != nullptr && token->stopRequested();
    }

private:
    std::atomic<bool> m_requested{false};
};

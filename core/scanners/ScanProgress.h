#pragma once

#include <QtGlobal>
#include <atomic>

// Progress of a running scan, written by the scan and read by whoever shows it (from any thread).
struct ScanProgress
{
    std::atomic<int> scannersDone{0};   // of the seven source scanners
    std::atomic<qint64> bytesHashed{0}; // while duplicates are confirmed
    std::atomic<bool> confirmingDuplicates{false};
};

#pragma once

#include <QtGlobal>
#include <atomic>

// How far a running scan has come: written by the scan, readable from any thread at any time.
// Each count only grows; start every scan with a fresh one.
struct ScanProgress
{
    std::atomic<int> sourcesDone{0};      // source scanners finished (the loose scan included)
    std::atomic<int> sourcesTotal{0};     // set before the first one starts
    std::atomic<qint64> entriesWalked{0}; // names listed by the walks of all scanners
    std::atomic<qint64> bytesHashed{0};   // of bytesToHash, while duplicates are confirmed
    std::atomic<qint64> bytesToHash{0};   // known once the files to hash in full are known
};

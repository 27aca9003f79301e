#pragma once

#include "model/SourceScan.h"

#include <QString>
#include <QStringList>
#include <functional>

// Read-outs of a scan's result shared by the scanner tests.
namespace ScanReadout {

// The ids of the scan's entries, in the scan's order.
[[nodiscard]] QStringList idsOf(const SourceScan& scan);

// The primary paths of the scan's entries, in the scan's order.
[[nodiscard]] QStringList pathsOf(const SourceScan& scan);

// Runs the work on a thread of its own. Work blocked opening or reading the FIFO never returns
// by itself: after a generous wait the FIFO is opened for writing and closed, which frees it,
// and the call counts as blocked (false).
[[nodiscard]] bool returnsWithoutBlocking(const QString& fifo, const std::function<void()>& work);

} // namespace ScanReadout

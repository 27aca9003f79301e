#pragma once

#include "model/SourceScan.h"

#include <QString>
#include <QStringList>
#include <functional>

class TestHome;

// Read-outs of a scan's result shared by the scanner tests.
namespace ScanReadout {

// The ids of the scan's entries, in the scan's order.
[[nodiscard]] QStringList idsOf(const SourceScan& scan);

// "path:size" of each entry in the scan's order, the path relative to the home: the form of the
// sparse-file lines of Fixtures::makeTree.
[[nodiscard]] QStringList entriesIn(const SourceScan& scan, const TestHome& home);

// The columns of a layout table: "tree" (Fixtures::makeTree lines under the home, "<HOME>"
// standing for its path) and "expected" (entriesIn form).
void layoutColumns();

// Builds the row's tree in a fresh home, runs the scan there and compares its entries; the scan
// must report no error and return although FIFOs ("|" lines) are met. A tree with unreadable
// paths ("!" lines) is scanned at uid 65534. The base goes before every line and entry.
void checkLayout(const std::function<SourceScan(const TestHome&)>& scan, const QString& base = {});

// Runs the work on a thread of its own. Work blocked opening or reading one of the FIFOs never
// returns by itself: after a generous wait each FIFO is opened for writing and closed, which
// frees it, and the call counts as blocked (false).
[[nodiscard]] bool returnsWithoutBlocking(const QStringList& fifos,
                                          const std::function<void()>& work);

} // namespace ScanReadout

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

// Builds the row's "tree" (Fixtures::makeTree lines below the home, "<HOME>" standing for its
// path) in a fresh home, runs the scan there and compares its entries with "expected" (entriesIn
// form), the base going before every line and entry. The scan must report no error and return
// although FIFOs ("|" lines) are met; a tree with unreadable paths ("!" lines) is scanned at
// uid 65534.
void checkLayout(const std::function<SourceScan(const TestHome&)>& scan, const QString& base = {});

} // namespace ScanReadout

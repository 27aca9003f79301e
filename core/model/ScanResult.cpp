#include "model/ScanResult.h"

#include "model/Sizes.h"

qint64 ScanResult::totalBytes() const
{
    qint64 sum = 0;
    for (const ModelEntry& entry : models)
        sum = saturatingAdd(sum, entry.reclaimableBytes);
    return sum;
}

qint64 ScanResult::bytes(ModelSource source) const
{
    qint64 sum = 0;
    for (const ModelEntry& entry : models) {
        if (entry.source == source)
            sum = saturatingAdd(sum, entry.reclaimableBytes);
    }
    return sum;
}

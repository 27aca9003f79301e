// Compiled as a view is: the application model, the core's value types and its text forms.
#include "app/AppModel.h"
#include "app/ModelList.h"
#include "model/ModelEntry.h"
#include "text/Format.h"

[[maybe_unused]] static QString probe(const ModelEntry& entry)
{
    return Format::bytes(entry.sizeBytes);
}

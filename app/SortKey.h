#pragma once

// A column of the model table by which the list can be sorted, with its direction.
struct SortKey
{
    enum class Field
    {
        name,
        source,
        sizeBytes,
        reclaimableBytes,
        primaryPath,
        lastModified,
        lastUsed,
        deleteRisk,
        quantization,
        detail,
        isDuplicate
    };

    Field field = Field::sizeBytes;
    bool ascending = false;

    friend bool operator==(const SortKey&, const SortKey&) = default;
};

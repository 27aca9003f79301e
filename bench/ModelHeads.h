#pragma once

#include "HomePlan.h"
#include "Random.h"

#include <string>
#include <string_view>

// Pieces shared by the parts of the synthetic home: file heads that look like the formats
// their names claim, and dates.
namespace ModelHeads {

// The first bytes of a file of this name: a GGUF, safetensors, ONNX, zip (PyTorch), SQLite or
// image header, or nothing for other names.
[[nodiscard]] std::string magicFor(std::string_view fileName);

// A large model file: 64 KiB of real head derived from the label (equal labels give equal
// heads), the rest a hole.
void modelFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
               int64_t size, std::string_view label, int64_t mtime, int64_t differAt = -1);

// A file whose apparent size is `size`: its format's header (or a little text) is written and
// the rest is a hole, so a big cache takes little space.
void sizedFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
               int64_t size, Random& random, int64_t mtime);

// A small file of real text between the two sizes.
void textFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
              Random& random, int64_t low, int64_t high, int64_t mtime);

// A date within the generated range.
[[nodiscard]] inline int64_t anyTime(Random& random)
{
    return random.between(HomeTimes::kOldest, HomeTimes::kNewest);
}

// A date at most `days` after `from`, still within the range.
[[nodiscard]] int64_t after(Random& random, int64_t from, int64_t days);

} // namespace ModelHeads

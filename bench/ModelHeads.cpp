#include "ModelHeads.h"

#include <algorithm>
#include <cctype>

namespace {

bool endsWith(std::string_view name, std::string_view suffix)
{
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

std::string safetensorsHead()
{
    const std::string header =
        R"({"__metadata__":{"format":"pt"},"model.embed_tokens.weight":{"dtype":"BF16",)"
        R"("shape":[32000,4096],"data_offsets":[0,262144000]}})";
    std::string head(8, '\0');
    auto length = static_cast<uint64_t>(header.size());
    for (size_t i = 0; i < 8; ++i, length >>= 8)
        head[i] = static_cast<char>(length & 0xffU);
    return head + header;
}

} // namespace

namespace ModelHeads {

std::string magicFor(std::string_view fileName)
{
    using namespace std::string_literals;
    std::string lower(fileName);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (endsWith(lower, ".gguf"))
        return "GGUF\x03\0\0\0\x2c\x01\0\0\0\0\0\0"s;
    if (endsWith(lower, ".safetensors"))
        return safetensorsHead();
    if (endsWith(lower, ".onnx"))
        return "\x08\x08\x12\x07pytorch\x1a\x05"
               "2.1.0"s;
    if (endsWith(lower, ".bin") || endsWith(lower, ".pt") || endsWith(lower, ".pth") ||
        endsWith(lower, ".ckpt") || endsWith(lower, ".zip") || endsWith(lower, ".vsix"))
        return "PK\x03\x04\x14\0\0\0\0\0"s;
    if (endsWith(lower, ".vscdb") || endsWith(lower, ".vscdb.backup") || endsWith(lower, ".db"))
        return "SQLite format 3\0"s;
    if (endsWith(lower, ".png"))
        return "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR"s;
    if (endsWith(lower, ".jpg") || endsWith(lower, ".jpeg"))
        return "\xff\xd8\xff\xe0\0\x10JFIF\0"s;
    if (endsWith(lower, ".pdf"))
        return "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"s;
    if (endsWith(lower, ".npy"))
        return "\x93NUMPY\x01\0v\0{'descr': '<f4', 'fortran_order': False, }"s;
    if (endsWith(lower, ".gz") || endsWith(lower, ".tgz"))
        return "\x1f\x8b\x08\0\0\0\0\0\0\x03"s;
    return {};
}

void modelFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
               int64_t size, std::string_view label, int64_t mtime, int64_t differAt)
{
    writer.sparse(parent, name, size, Random::of(label).next(), magicFor(name), mtime, differAt);
}

void sizedFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
               int64_t size, Random& random, int64_t mtime)
{
    std::string head = magicFor(name);
    if (head.empty())
        head = random.text(static_cast<size_t>(std::min<int64_t>(size, random.between(40, 400))));
    if (static_cast<int64_t>(head.size()) > size)
        head.resize(static_cast<size_t>(size));
    writer.file(parent, name, head, mtime, size);
}

void textFile(TreeWriter& writer, const TreeWriter::Dir& parent, std::string_view name,
              Random& random, int64_t low, int64_t high, int64_t mtime)
{
    writer.file(parent, name, random.text(static_cast<size_t>(random.between(low, high))), mtime);
}

int64_t after(Random& random, int64_t from, int64_t days)
{
    return std::min(HomeTimes::kNewest, from + random.between(0, days * 86'400));
}

} // namespace ModelHeads

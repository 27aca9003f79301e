#include "Random.h"

namespace {

constexpr std::string_view kWords[] = {
    "model",  "tensor", "cache", "layer",  "token",   "index", "weight", "vector", "prompt",
    "branch", "commit", "state", "window", "project", "query", "result", "config", "chunk",
    "embed",  "search", "file",  "local",  "remote",  "value", "schema", "batch",  "shard"};

} // namespace

int64_t Random::logBetween(int64_t low, int64_t high)
{
    // Integers only, so the result does not depend on the platform's floating point: pick one
    // of the doublings between low and high, then a value inside it.
    int doublings = 0;
    while ((low << (doublings + 1)) <= high && doublings < 62)
        ++doublings;
    const int step = static_cast<int>(below(static_cast<uint64_t>(doublings) + 1));
    const int64_t from = low << step;
    const int64_t to = step == doublings ? high : (low << (step + 1)) - 1;
    return between(from, to);
}

std::string Random::hex(int digits)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out(static_cast<size_t>(digits), '0');
    uint64_t bits = 0;
    for (int i = 0; i < digits; ++i) {
        if (i % 16 == 0)
            bits = next();
        out[static_cast<size_t>(i)] = kDigits[bits & 15U];
        bits >>= 4;
    }
    return out;
}

std::string Random::text(size_t size)
{
    std::string out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out.append(pick(kWords));
        out.push_back(below(12) == 0 ? '\n' : ' ');
    }
    out.resize(size);
    return out;
}

std::string Random::uuid()
{
    std::string id = hex(32);
    id[12] = '4';
    return id.substr(0, 8) + '-' + id.substr(8, 4) + '-' + id.substr(12, 4) + '-' +
           id.substr(16, 4) + '-' + id.substr(20);
}

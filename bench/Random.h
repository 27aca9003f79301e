#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A small deterministic generator (splitmix64): the same seed gives the same sequence on every
// machine and with every standard library, so a generated home is the same tree every time.
class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed) {}

    // A generator whose sequence depends only on the label and the index, so a unit of the
    // tree comes out the same whichever thread builds it and in whatever order.
    static Random of(std::string_view label, uint64_t index = 0)
    {
        uint64_t hash = 0xcbf29ce484222325ULL; // FNV-1a
        for (const char c : label) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 0x100000001b3ULL;
        }
        Random mixer(hash ^ (index * 0x9e3779b97f4a7c15ULL) ^ 0x42726d76616c65ULL);
        return Random(mixer.next());
    }

    uint64_t next()
    {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [0, bound); 0 when bound is 0.
    uint64_t below(uint64_t bound) { return bound == 0 ? 0 : next() % bound; }

    // Uniform in [low, high].
    int64_t between(int64_t low, int64_t high)
    {
        return low + static_cast<int64_t>(below(static_cast<uint64_t>(high - low) + 1));
    }

    // True with the given chance in percent.
    bool percent(int chance) { return below(100) < static_cast<uint64_t>(chance); }

    // A value spread evenly over the orders of magnitude between low and high (both > 0).
    int64_t logBetween(int64_t low, int64_t high);

    std::string hex(int digits);

    // One of the given words.
    template <size_t N> std::string_view pick(const std::string_view (&words)[N])
    {
        return words[below(N)];
    }

    // Readable filler text of exactly the given size.
    std::string text(size_t size);

    // A version-4 style identifier, as editors name chats and sessions.
    std::string uuid();

private:
    uint64_t m_state;
};

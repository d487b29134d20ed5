// Marvin32 as published with its reference implementation: 32-bit blocks mixed into two state
// words, the tail padded with one 0x80 byte, two final rounds.
#include "sources/marvin32.h"

namespace {

constexpr size_t kBlockBytes = 4;
constexpr uint32_t kPadding = 0x80;  // the byte after the data in the last block
constexpr int kBitsPerByte = 8;

inline uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

inline void Mix(uint32_t* low, uint32_t* high) {
    *high ^= *low;
    *low = RotateLeft(*low, 20);
    *low += *high;
    *high = RotateLeft(*high, 9);
    *high ^= *low;
    *low = RotateLeft(*low, 27);
    *low += *high;
    *high = RotateLeft(*high, 19);
}

}  // namespace

uint64_t Marvin32(const unsigned char* data, size_t size, uint64_t seed) {
    uint32_t low = static_cast<uint32_t>(seed);
    uint32_t high = static_cast<uint32_t>(seed >> 32);
    const size_t whole = size - size % kBlockBytes;
    for (size_t at = 0; at < whole; at += kBlockBytes) {
        // Spelled out rather than looped, so that the compiler reads the block at once.
        low += static_cast<uint32_t>(data[at]) | static_cast<uint32_t>(data[at + 1]) << 8 |
               static_cast<uint32_t>(data[at + 2]) << 16 |
               static_cast<uint32_t>(data[at + 3]) << 24;
        Mix(&low, &high);
    }
    uint32_t tail = kPadding;
    for (size_t at = size; at > whole; --at) {
        tail = tail << kBitsPerByte | data[at - 1];
    }
    low += tail;
    Mix(&low, &high);
    Mix(&low, &high);
    return static_cast<uint64_t>(high) << 32 | low;
}

// Marvin32 as published with its reference implementation: 32-bit blocks mixed into two state
// words, the tail padded with one 0x80 byte, two final rounds.
#include "settings/marvin32.h"

namespace {

constexpr size_t kBlockBytes = 4;
constexpr uint32_t kPadding = 0x80;  // the byte after the data in the last block
constexpr int kBitsPerByte = 8;

uint32_t RotateLeft(uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

void Mix(uint32_t* low, uint32_t* high) {
    *high ^= *low;
    *low = RotateLeft(*low, 20);
    *low += *high;
    *high = RotateLeft(*high, 9);
    *high ^= *low;
    *low = RotateLeft(*low, 27);
    *low += *high;
    *high = RotateLeft(*high, 19);
}

// The bytes at data, at most four, as a little-endian number.
uint32_t LittleEndian(const unsigned char* data, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value |= static_cast<uint32_t>(data[i]) << (kBitsPerByte * i);
    }
    return value;
}

}  // namespace

uint64_t Marvin32(const unsigned char* data, size_t size, uint64_t seed) {
    uint32_t low = static_cast<uint32_t>(seed);
    uint32_t high = static_cast<uint32_t>(seed >> 32);
    const size_t whole = size - size % kBlockBytes;
    for (size_t at = 0; at < whole; at += kBlockBytes) {
        low += LittleEndian(data + at, kBlockBytes);
        Mix(&low, &high);
    }
    const size_t tail = size - whole;
    low += LittleEndian(data + whole, tail) | kPadding << (kBitsPerByte * tail);
    Mix(&low, &high);
    Mix(&low, &high);
    return static_cast<uint64_t>(high) << 32 | low;
}

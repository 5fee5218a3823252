#pragma once
// Bounded little-endian reads from a byte image: every read and skip is
// checked against the image size first, so a short file can never be read
// past its end.
#include <cstdint>

struct ByteReader {
    const uint8_t* data;
    uint32_t size;
    uint32_t position;
};

inline uint32_t readerRemaining(const ByteReader& reader) {
    return reader.size - reader.position;
}

// The little-endian word at p, which the caller has checked to be inside.
inline uint32_t wordAt(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// True when count more bytes lie inside the image at the current position.
inline bool readerHas(const ByteReader& reader, uint64_t count) {
    return count <= readerRemaining(reader);
}

// Reads a 32-bit little-endian word at any byte position; false at the end.
inline bool readerWord(ByteReader& reader, uint32_t& value) {
    if (!readerHas(reader, 4)) return false;
    value = wordAt(reader.data + reader.position);
    reader.position += 4;
    return true;
}

// Skips count bytes; false (and no move) when they are not all there.
inline bool readerSkip(ByteReader& reader, uint64_t count) {
    if (!readerHas(reader, count)) return false;
    reader.position += uint32_t(count);
    return true;
}


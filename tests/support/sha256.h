#pragma once
// SHA-256 (FIPS 180-4) for the golden renders' digests; test code only.
#include <cstdint>
#include <cstdio>
#include <string>

struct Sha256 {
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    uint8_t block[64] = {};
    size_t fill = 0;     // bytes waiting in block
    uint64_t length = 0; // bytes added so far
};

inline uint32_t sha256Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline void sha256Compress(Sha256& sha) {
    static constexpr uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t(sha.block[4 * i]) << 24 | uint32_t(sha.block[4 * i + 1]) << 16 |
               uint32_t(sha.block[4 * i + 2]) << 8 | sha.block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = sha256Rotr(w[i - 15], 7) ^ sha256Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = sha256Rotr(w[i - 2], 17) ^ sha256Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = sha.state[i];
    for (int i = 0; i < 64; ++i) {
        const uint32_t e = v[4], a = v[0];
        const uint32_t t1 = v[7] + (sha256Rotr(e, 6) ^ sha256Rotr(e, 11) ^ sha256Rotr(e, 25)) +
                            ((e & v[5]) ^ (~e & v[6])) + k[i] + w[i];
        const uint32_t t2 = (sha256Rotr(a, 2) ^ sha256Rotr(a, 13) ^ sha256Rotr(a, 22)) +
                            ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
        for (int j = 7; j > 0; --j) v[j] = v[j - 1];
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i) sha.state[i] += v[i];
    sha.fill = 0;
}

inline void sha256Add(Sha256& sha, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        sha.block[sha.fill++] = bytes[i];
        if (sha.fill == 64) sha256Compress(sha);
    }
    sha.length += size;
}

// The digest as 64 lowercase hex digits; sha is spent afterwards.
inline std::string sha256Hex(Sha256& sha) {
    const uint64_t bits = sha.length * 8;
    const uint8_t one = 0x80, zero = 0;
    sha256Add(sha, &one, 1);
    while (sha.fill != 56) sha256Add(sha, &zero, 1);
    for (int shift = 56; shift >= 0; shift -= 8) {
        const auto byte = static_cast<uint8_t>(bits >> shift);
        sha256Add(sha, &byte, 1);
    }
    std::string out;
    char digits[9];
    for (uint32_t word : sha.state) {
        std::snprintf(digits, sizeof digits, "%08x", word);
        out += digits;
    }
    return out;
}

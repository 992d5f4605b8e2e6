#include "security/sha256ni.h"

#include "security/securebytes.h"

#if defined(__x86_64__)
#include <cryptopp/cpu.h>
#include <immintrin.h>
#endif

namespace zt::detail {

#if defined(__x86_64__)

bool HaveSha256Ni() { return CryptoPP::HasSHA() && CryptoPP::HasSSE41(); }

namespace {

#define ZT_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))

alignas(16) const uint32_t kK[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// A..H (two vectors of native words) to the ABEF/CDGH form of the instructions.
ZT_SHA_TARGET inline void ToLanes(__m128i abcd, __m128i efgh, __m128i& s0, __m128i& s1) {
    __m128i t = _mm_shuffle_epi32(abcd, 0xB1); // CDAB
    efgh = _mm_shuffle_epi32(efgh, 0x1B);      // EFGH reversed
    s0 = _mm_alignr_epi8(t, efgh, 8);          // ABEF
    s1 = _mm_blend_epi16(efgh, t, 0xF0);       // CDGH
}

ZT_SHA_TARGET inline void FromLanes(__m128i s0, __m128i s1, __m128i& abcd, __m128i& efgh) {
    __m128i t = _mm_shuffle_epi32(s0, 0x1B);
    s1 = _mm_shuffle_epi32(s1, 0xB1);
    abcd = _mm_blend_epi16(t, s1, 0xF0);
    efgh = _mm_alignr_epi8(s1, t, 8);
}

// One compression of the 64-byte block m0..m3 (native words W0..W15).
ZT_SHA_TARGET inline void Compress(__m128i& s0, __m128i& s1, __m128i m0, __m128i m1, __m128i m2, __m128i m3) {
    const __m128i save0 = s0, save1 = s1;
    __m128i m[4] = {m0, m1, m2, m3};
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
        if (g >= 4) {
            // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
            __m128i t = _mm_sha256msg1_epu32(m[g & 3], m[(g + 1) & 3]);
            t = _mm_add_epi32(t, _mm_alignr_epi8(m[(g + 3) & 3], m[(g + 2) & 3], 4));
            m[g & 3] = _mm_sha256msg2_epu32(t, m[(g + 3) & 3]);
        }
        __m128i k = _mm_add_epi32(m[g & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kK + 4 * g)));
        s1 = _mm_sha256rnds2_epu32(s1, s0, k);
        s0 = _mm_sha256rnds2_epu32(s0, s1, _mm_shuffle_epi32(k, 0x0E));
    }
    s0 = _mm_add_epi32(s0, save0);
    s1 = _mm_add_epi32(s1, save1);
}

} // namespace

ZT_SHA_TARGET void Pbkdf2Sha256NiRounds(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8],
                                        uint32_t acc[8], uint32_t rounds) {
    auto load = [](const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    __m128i in0, in1, out0, out1;
    ToLanes(load(inner), load(inner + 4), in0, in1);
    ToLanes(load(outer), load(outer + 4), out0, out1);
    // Both messages of an iteration are a key block followed by a 32-byte
    // digest: W8 = 0x80000000, W15 = 768 bits, the rest zero.
    const __m128i pad2 = _mm_set_epi32(0, 0, 0, int(0x80000000u));
    const __m128i pad3 = _mm_set_epi32(768, 0, 0, 0);
    __m128i u0 = load(u), u1 = load(u + 4), a0 = load(acc), a1 = load(acc + 4);
    for (uint32_t r = 0; r < rounds; ++r) {
        __m128i s0 = in0, s1 = in1;
        Compress(s0, s1, u0, u1, pad2, pad3);
        FromLanes(s0, s1, u0, u1);
        s0 = out0;
        s1 = out1;
        Compress(s0, s1, u0, u1, pad2, pad3);
        FromLanes(s0, s1, u0, u1);
        a0 = _mm_xor_si128(a0, u0);
        a1 = _mm_xor_si128(a1, u1);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u), u0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u + 4), u1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc), a0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(acc + 4), a1);
    // The registers are dead from here; the stack copies of the states are not kept.
}

#else

bool HaveSha256Ni() { return false; }
void Pbkdf2Sha256NiRounds(const uint32_t*, const uint32_t*, uint32_t*, uint32_t*, uint32_t) {}

#endif

} // namespace zt::detail

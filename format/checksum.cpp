#include "format/checksum.h"

#include "format/rar_format.h"

// 64-bit x86 hosts (the tools and the 64-bit builds, never the 32-bit stub)
// fold 64 bytes per step with carry-less multiplication where the processor
// has it, 128 where it has the 256-bit form: "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ Instruction" (Gopal, Ozturk et al.,
// Intel 2009), with that paper's constants for the reflected CRC-32
// polynomial.
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define OV_CRC_CLMUL 1

namespace {

// Folds the 16-byte lane `x` forward over the next 16 bytes and adds them.
__attribute__((target("pclmul,sse4.1"))) inline __m128i Fold16(__m128i x, __m128i next)
{
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k3k4, 0x11), next), _mm_clmulepi64_si128(x, k3k4, 0x00));
}

// The last whole 16-byte pieces after the lane `x1`, then the reduction of
// 128 bits to the CRC.
__attribute__((target("pclmul,sse4.1"))) uint32_t FinishClmul(__m128i x1, const uint8_t* buf, size_t len)
{
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5k0 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    for (; len >= 16; buf += 16, len -= 16)
        x1 = Fold16(x1, _mm_loadu_si128((const __m128i*)buf));
    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask), k5k0, 0x00), x2);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask), poly, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask), poly, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return uint32_t(_mm_extract_epi32(x1, 1));
}

__attribute__((target("pclmul,sse4.1"))) uint32_t Crc32Clmul(uint32_t crc, const uint8_t* buf, size_t len)
{
    // len is at least 64 and a multiple of 16.
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    __m128i x1 = _mm_loadu_si128((const __m128i*)(buf + 0x00));
    __m128i x2 = _mm_loadu_si128((const __m128i*)(buf + 0x10));
    __m128i x3 = _mm_loadu_si128((const __m128i*)(buf + 0x20));
    __m128i x4 = _mm_loadu_si128((const __m128i*)(buf + 0x30));
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(int(crc)));
    buf += 64;
    len -= 64;
    while (len >= 64) {
        __m128i x5 = _mm_clmulepi64_si128(x1, k1k2, 0x00);
        __m128i x6 = _mm_clmulepi64_si128(x2, k1k2, 0x00);
        __m128i x7 = _mm_clmulepi64_si128(x3, k1k2, 0x00);
        __m128i x8 = _mm_clmulepi64_si128(x4, k1k2, 0x00);
        x1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
        x2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
        x3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
        x4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), _mm_loadu_si128((const __m128i*)(buf + 0x00)));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), _mm_loadu_si128((const __m128i*)(buf + 0x10)));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), _mm_loadu_si128((const __m128i*)(buf + 0x20)));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), _mm_loadu_si128((const __m128i*)(buf + 0x30)));
        buf += 64;
        len -= 64;
    }
    // Four lanes into one.
    x1 = Fold16(Fold16(Fold16(x1, x2), x3), x4);
    return FinishClmul(x1, buf, len);
}

// Where the processor has 256-bit carry-less multiplication: eight lanes of
// 16 bytes, each folded 128 bytes forward per step, twice the bytes per
// multiplication's latency of the loop above.
__attribute__((target("vpclmulqdq,avx2,pclmul,sse4.1"))) uint32_t Crc32Vclmul(uint32_t crc, const uint8_t* buf,
                                                                              size_t len)
{
    // len is at least 256 and a multiple of 16. The constants are those
    // above for a fold over 1024 bits instead of 512.
    const __m256i k = _mm256_set_epi64x(0x014a7fe880, 0x01e88ef372, 0x014a7fe880, 0x01e88ef372);
    __m256i y[4];
    for (int i = 0; i < 4; i++)
        y[i] = _mm256_loadu_si256((const __m256i*)(buf + 32 * i));
    y[0] = _mm256_xor_si256(y[0], _mm256_zextsi128_si256(_mm_cvtsi32_si128(int(crc))));
    buf += 128;
    len -= 128;
    for (; len >= 128; buf += 128, len -= 128)
        for (int i = 0; i < 4; i++)
            y[i] = _mm256_xor_si256(
                _mm256_xor_si256(_mm256_clmulepi64_epi128(y[i], k, 0x00), _mm256_clmulepi64_epi128(y[i], k, 0x11)),
                _mm256_loadu_si256((const __m256i*)(buf + 32 * i)));
    // The lanes in the order of their bytes, into one.
    __m128i x = _mm256_castsi256_si128(y[0]);
    x = Fold16(x, _mm256_extracti128_si256(y[0], 1));
    for (int i = 1; i < 4; i++)
        x = Fold16(Fold16(x, _mm256_castsi256_si128(y[i])), _mm256_extracti128_si256(y[i], 1));
    return FinishClmul(x, buf, len);
}

// 0: no carry-less multiplication, 1: 128-bit, 2: also 256-bit.
int ClmulWidth()
{
    static int known = -1;
    if (known < 0) {
        __builtin_cpu_init();
        known = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1") ? 1 : 0;
        if (known && __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2"))
            known = 2;
    }
    return known;
}

} // namespace
#endif

void BuildCrcTable(Crc32Table* crc)
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        crc->table[i] = c;
    }
    // Slice k gives the effect of a byte followed by k + 1 zero bytes, so
    // sixteen bytes fold in with sixteen independent lookups.
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = crc->table[i];
        for (int k = 0; k < 15; k++) {
            c = crc->table[c & 0xFF] ^ (c >> 8);
            crc->slices[k][i] = c;
        }
    }
}

uint32_t Crc32Update(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length)
{
    const uint32_t* t0 = crc->table;
    const uint32_t(*s)[256] = crc->slices;
    uint32_t c = running;
#ifdef OV_CRC_CLMUL
    int width = length >= 256 ? ClmulWidth() : 0;
    if (width) {
        size_t chunk = length & ~size_t(15);
        c = width == 2 ? Crc32Vclmul(c, bytes, chunk) : Crc32Clmul(c, bytes, chunk);
        bytes += chunk;
        length -= chunk;
    }
#endif
    while (length >= 16) {
        uint32_t a =
            c ^ (uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24);
        c = s[14][a & 0xFF] ^ s[13][(a >> 8) & 0xFF] ^ s[12][(a >> 16) & 0xFF] ^ s[11][a >> 24] ^ s[10][bytes[4]] ^
            s[9][bytes[5]] ^ s[8][bytes[6]] ^ s[7][bytes[7]] ^ s[6][bytes[8]] ^ s[5][bytes[9]] ^ s[4][bytes[10]] ^
            s[3][bytes[11]] ^ s[2][bytes[12]] ^ s[1][bytes[13]] ^ s[0][bytes[14]] ^ t0[bytes[15]];
        bytes += 16;
        length -= 16;
    }
    while (length--)
        c = t0[(c ^ *bytes++) & 0xFF] ^ (c >> 8);
    return c;
}

uint32_t Crc32Of(const Crc32Table* crc, const uint8_t* bytes, size_t length)
{
    return ~Crc32Update(crc, 0xFFFFFFFFu, bytes, length);
}

uint16_t RotateSumUpdate(uint16_t value, const uint8_t* bytes, size_t length)
{
    uint32_t v = value;
    for (size_t i = 0; i < length; i++) {
        v = (v + bytes[i]) & 0xFFFF;
        v = ((v << 1) | (v >> 15)) & 0xFFFF;
    }
    return uint16_t(v);
}

uint32_t ChecksumUpdate(const Crc32Table* crc, uint32_t running, const uint8_t* bytes, size_t length, int format)
{
    if (format == kFormatOldGeneration)
        return RotateSumUpdate(uint16_t(running), bytes, length);
    return Crc32Update(crc, running, bytes, length);
}

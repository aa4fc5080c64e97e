// Sampling down with SSE2: eight destination pixels per step from 8 * s source pixels,
// read as whole 16-byte vectors that never reach past column s * width - 1; the last
// fewer-than-eight pixels of a row are copied one by one.
#include "sample_down.h"

#include <emmintrin.h>

#include <cstring>

namespace {

constexpr uint32_t Step = 8;  // destination pixels per vector step

inline __m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The even 16-bit lanes of a and b, in order. Multiplying each lane pair by (1, 0) and
// adding gives the even lane sign-extended to 32 bits, which the signed pack then
// narrows back to exactly the same 16-bit pattern.
inline __m128i EvenLanes(__m128i a, __m128i b)
{
  const __m128i evenOnly = _mm_set1_epi32(1);
  return _mm_packs_epi32(_mm_madd_epi16(a, evenOnly), _mm_madd_epi16(b, evenOnly));
}

inline void Row2(const uint16_t* in, uint16_t* out, uint32_t width)
{
  uint32_t c = 0;
  for (; c + 2 * Step <= width; c += 2 * Step, in += 4 * Step) {
    Store(out + c, EvenLanes(Load(in), Load(in + 8)));
    Store(out + c + Step, EvenLanes(Load(in + 16), Load(in + 24)));
  }
  for (; c + Step <= width; c += Step, in += 2 * Step)
    Store(out + c, EvenLanes(Load(in), Load(in + 8)));
  for (; c < width; ++c, in += 2)
    out[c] = in[0];
}

inline void Row4(const uint16_t* in, uint16_t* out, uint32_t width)
{
  uint32_t c = 0;
  for (; c + Step <= width; c += Step, in += 4 * Step)
    Store(out + c, EvenLanes(EvenLanes(Load(in), Load(in + 8)), EvenLanes(Load(in + 16), Load(in + 24))));
  for (; c < width; ++c, in += 4)
    out[c] = in[0];
}

// Picks the 64-bit halves of two registers: the low or high half of a, then of b.
template <int Selector>
inline __m128i Halves(__m128i a, __m128i b)
{
  return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(a), _mm_castsi128_pd(b), Selector));
}
constexpr int LowHigh = 2, HighLow = 1;

// Destination pixel i is source pixel 3i. Per group of four quadwords' worth, the
// wanted pixels sit at the same lanes of quadwords 0 and 3 (lanes 0 and 3), 1 and 4
// (lane 2), 2 and 5 (lane 1): pairing those quadwords lets one mask-and-shift place
// four destination pixels in each half of the result.
inline void Row3(const uint16_t* in, uint16_t* out, uint32_t width)
{
  const __m128i lanes03 = _mm_set_epi16(-1, 0, 0, -1, -1, 0, 0, -1);
  const __m128i lanes01 = _mm_set_epi16(0, 0, -1, -1, 0, 0, -1, -1);
  const __m128i lane2 = _mm_set_epi16(0, -1, 0, 0, 0, -1, 0, 0);
  const __m128i lane3 = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  uint32_t c = 0;
  for (; c + Step <= width; c += Step, in += 3 * Step) {
    const __m128i a = Load(in), b = Load(in + 8), d = Load(in + 16);
    const __m128i q03 = Halves<LowHigh>(a, b);  // quadwords 0 and 3
    const __m128i q14 = Halves<HighLow>(a, d);  // quadwords 1 and 4
    const __m128i q25 = Halves<LowHigh>(b, d);  // quadwords 2 and 5
    __m128i first = _mm_and_si128(q03, lanes03);                                      // lanes 0, 3
    first = _mm_and_si128(_mm_or_si128(first, _mm_srli_epi64(first, 32)), lanes01);  // lane 3 -> 1
    __m128i v = _mm_or_si128(first, _mm_and_si128(q14, lane2));                       // lane 2 stays
    v = _mm_or_si128(v, _mm_and_si128(_mm_slli_epi64(q25, 32), lane3));               // lane 1 -> 3
    Store(out + c, v);
  }
  for (; c < width; ++c, in += 3)
    out[c] = in[0];
}

inline void RowAny(const uint16_t* in, uint32_t s, uint16_t* out, uint32_t width)
{
  for (uint32_t c = 0; c < width; ++c)
    out[c] = in[c * s];
}

}  // namespace

void SampleDown(const void* src, ptrdiff_t srcPitch, uint32_t s, void* dst, ptrdiff_t dstPitch,
                uint32_t width, uint32_t height)
{
  const auto* in = static_cast<const uint8_t*>(src);
  auto* out = static_cast<uint8_t*>(dst);
  for (uint32_t r = 0; r < height; ++r, in += ptrdiff_t(s) * srcPitch, out += dstPitch) {
    const auto* inRow = reinterpret_cast<const uint16_t*>(in);
    auto* outRow = reinterpret_cast<uint16_t*>(out);
    switch (s) {
      case 2: Row2(inRow, outRow, width); break;
      case 3: Row3(inRow, outRow, width); break;
      case 4: Row4(inRow, outRow, width); break;
      default: RowAny(inRow, s, outRow, width); break;
    }
  }
}

#if defined(__GNUC__)
__attribute__((optimize("no-tree-vectorize")))
#endif
void SampleDownScalar(const void* src, ptrdiff_t srcPitch, uint32_t s, void* dst, ptrdiff_t dstPitch,
                      uint32_t width, uint32_t height)
{
  for (uint32_t r = 0; r < height; ++r) {
    const uint8_t* inRow = static_cast<const uint8_t*>(src) + ptrdiff_t(r) * s * srcPitch;
    uint8_t* outRow = static_cast<uint8_t*>(dst) + ptrdiff_t(r) * dstPitch;
    for (uint32_t c = 0; c < width; ++c) {
      uint16_t pixel;
      std::memcpy(&pixel, inRow + size_t(c) * s * 2, 2);
      std::memcpy(outRow + size_t(c) * 2, &pixel, 2);
    }
  }
}

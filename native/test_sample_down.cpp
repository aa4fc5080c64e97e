// The sampling-down kernel against its scalar twin, for every factor and for widths
// around the vector step, with the source's last row ending at an inaccessible page
// and the destination rows fenced by sentinels.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "sample_down.h"

namespace {

// A source image whose last byte is the last byte before a PROT_NONE page, so that any
// read past the last needed pixel of the last row faults.
class GuardedSource {
 public:
  GuardedSource(size_t bytes)
  {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t dataPages = (bytes + page - 1) / page;
    size_ = (dataPages + 1) * page;
    base_ = static_cast<uint8_t*>(mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + dataPages * page, page, PROT_NONE);
    data_ = base_ + dataPages * page - bytes;
  }
  ~GuardedSource() { munmap(base_, size_); }
  uint8_t* data() { return data_; }

 private:
  uint8_t* base_;
  uint8_t* data_;
  size_t size_;
};

uint16_t Pixel(uint32_t x, uint32_t y) { return static_cast<uint16_t>(x * 0x9E37u ^ y * 0x79B9u ^ (x * y)); }

constexpr uint16_t Sentinel = 0xA5A5;
constexpr uint32_t Fence = 3;  // sentinel pixels after each destination row

struct Result {
  std::vector<uint16_t> pixels;  // (width + Fence) per row
};

// Samples a source of exactly s * width columns (pitch s * width * 2 + extra bytes) down.
template <typename Kernel>
Result Sample(Kernel kernel, uint32_t s, uint32_t width, uint32_t height, uint32_t extraPitch)
{
  const uint32_t srcWidth = s * width;
  const size_t srcPitch = size_t(srcWidth) * 2 + extraPitch;
  const uint32_t srcHeight = s * height;
  // The last sampled row is s * (height - 1); the image ends after its s * width pixels.
  const size_t bytes = height ? size_t(s) * (height - 1) * srcPitch + size_t(srcWidth) * 2 : 0;
  GuardedSource source(bytes ? bytes : 1);
  for (uint32_t y = 0; y < srcHeight && bytes; ++y)
    for (uint32_t x = 0; x < srcWidth; ++x) {
      const size_t offset = y * srcPitch + size_t(x) * 2;
      if (offset + 2 <= bytes) {
        const uint16_t p = Pixel(x, y);
        std::memcpy(source.data() + offset, &p, 2);
      }
    }
  Result result;
  result.pixels.assign(size_t(width + Fence) * height, Sentinel);
  kernel(source.data(), static_cast<ptrdiff_t>(srcPitch), s, result.pixels.data(),
         static_cast<ptrdiff_t>((width + Fence) * 2), width, height);
  return result;
}

TEST(SampleDown, MatchesTheScalarLoopAndTheDefinitionForEveryWidth)
{
  for (uint32_t s : {2u, 3u, 4u}) {
    for (uint32_t width = 0; width <= 41; ++width) {
      for (uint32_t height : {1u, 2u, 5u}) {
        for (uint32_t extra : {0u, 2u, 6u}) {
          SCOPED_TRACE(testing::Message() << "s=" << s << " width=" << width << " height=" << height
                                          << " extra pitch=" << extra);
          const Result fast = Sample(SampleDown, s, width, height, extra);
          const Result scalar = Sample(SampleDownScalar, s, width, height, extra);
          ASSERT_EQ(fast.pixels, scalar.pixels);
          for (uint32_t r = 0; r < height; ++r) {
            for (uint32_t c = 0; c < width; ++c)
              ASSERT_EQ(fast.pixels[r * (width + Fence) + c], Pixel(c * s, r * s)) << c << "," << r;
            for (uint32_t f = 0; f < Fence; ++f)
              ASSERT_EQ(fast.pixels[r * (width + Fence) + width + f], Sentinel) << "store past the row";
          }
        }
      }
    }
  }
}

TEST(SampleDown, FrameSizesOfTheLibrary)
{
  const struct {
    uint32_t s, frameWidth, frameHeight;
  } cases[] = {{2, 640, 480}, {3, 640, 480}, {4, 256, 224}, {2, 1920, 1080}, {3, 635, 477}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frameWidth << "x" << c.frameHeight << " s=" << c.s);
    const uint32_t width = c.frameWidth / c.s, height = c.frameHeight / c.s;
    EXPECT_EQ(Sample(SampleDown, c.s, width, height, 0).pixels, Sample(SampleDownScalar, c.s, width, height, 0).pixels);
  }
}

TEST(SampleDown, EveryBitPatternIsCopiedUnchanged)
{
  // The signed pack must not saturate: all 65536 values survive.
  std::vector<uint16_t> src(65536 * 2), dst(65536, 0);
  for (uint32_t i = 0; i < 65536; ++i)
    src[2 * i] = static_cast<uint16_t>(i);
  SampleDown(src.data(), 0, 2, dst.data(), 0, 65536, 1);
  for (uint32_t i = 0; i < 65536; ++i)
    ASSERT_EQ(dst[i], i);
}

}  // namespace

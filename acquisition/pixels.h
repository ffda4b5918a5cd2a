// Pixel conversions into and out of the frame layout (3 bytes B, G, R, rows
// top-down), the colour modes of new frames, and the composition of the
// overlay over a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "station/image_state.h"

namespace orvane {

// The colour mode of new frames (a solution's option_index).
enum class ColourMode : uint32_t {
  Colour = 0,
  MonoRed = 1,
  MonoGreen = 2,
  MonoBlue = 3,
  MonoAverage = 4,
};

// Applies the colour mode to `pixels` consecutive pixels in place. Values
// outside 1..4 leave them unchanged.
void ApplyColourMode(uint8_t* pixels, size_t count, uint32_t mode);

// display = frame with every non-zero overlay byte laid over it, byte by byte.
void ComposeBytes(const uint8_t* frame, const uint8_t* overlay, uint8_t* display, size_t size);

// The ways of composing, all giving the same bytes: byte by byte, 16 bytes
// a step, 64 a step with ordinary stores, or with streaming stores that
// bypass the cache. ComposeBytes streams displays of 1 MiB and more.
enum class ComposeKernel { Plain, Sse2, Avx2, Avx2Streaming };
bool HaveComposeKernel(ComposeKernel kernel);
// With a kernel the processor lacks, the plain one.
void ComposeBytes(const uint8_t* frame, const uint8_t* overlay, uint8_t* display, size_t size,
                  ComposeKernel kernel);

// Converts a snapshot (a 40-byte bitmap header, then bottom-up pixels of 4
// bytes B, G, R, x) of `length` bytes into the frame layout at dest, which
// holds image.width x image.height pixels, then applies the colour mode.
// Only 32-bit snapshots are converted; others leave dest unchanged. With n
// pixels in the header, source pixel k goes to frame pixel n - 1 - k; writes
// that would land past the frame, or read past the snapshot's `length`, are
// left out (a snapshot larger than the frame gives its last W x H pixels),
// and frame pixels the snapshot does not reach stay as they were.
void SnapshotToFrame(const uint8_t* snapshot, size_t length, const ImageState& image,
                     uint32_t colour_mode, uint8_t* dest);

// The same result as SnapshotToFrame of the picture's snapshot bitmap (a
// picture of image.width x image.height pixels of 4 bytes B, G, R, x, rows
// top-down) in one pass: each row is copied into the frame and the colour
// mode applied while it is still in the cache.
void PictureToFrame(const uint8_t* bgrx, const ImageState& image, uint32_t colour_mode, uint8_t* dest);

// The ways n pixels of 4 bytes (B, G, R, x) become n pixels of 3 bytes
// (B, G, R); every one writes the same bytes and nothing past the 3n. The
// wider steps leave a row's rest to the narrower ones: Avx2Step32 writes
// each byte once, Avx2Step8 writes 32 bytes for every 24 (the next step
// overwrites the last 8).
enum class DropFourthKernel { Plain, Ssse3, Avx2Step8, Avx2Step32 };
bool HaveDropFourthKernel(DropFourthKernel kernel);
DropFourthKernel BestDropFourthKernel();
// `rows` rows of n pixels, src rows src_stride bytes apart, dst rows
// dst_stride apart; with a kernel the processor lacks, the plain one.
void CopyDropFourthRows(const uint8_t* src, size_t src_stride, uint8_t* dst, size_t dst_stride, size_t n,
                        size_t rows, DropFourthKernel kernel);

// Copies the pixel block of an accepted BMP file (24 or 32 bits, bottom-up
// when header_height > 0, top-down otherwise) into image.frame, whose stride
// is the file's 24-bit row length, then applies the colour mode row by row,
// leaving the padding bytes as the file had them. `pixels` must hold the
// whole block: stride x height bytes (24 bits) or width x 4 x height (32).
void BmpToFrame(const uint8_t* pixels, uint32_t bit_count, int32_t header_height,
                const ImageState& image, uint32_t colour_mode);

// The pixel block of a BMP file with a positive height (bottom-up), `size`
// bytes, from the frame, with the non-zero overlay bytes laid over it when
// with_overlay is set.
std::vector<uint8_t> FrameToBmpRows(const ImageState& image, bool with_overlay);

} // namespace orvane

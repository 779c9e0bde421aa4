// Reading pixels back in tests, comparing colours by rule and keeping failing captures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"

namespace rundix::test {

// The pixel at (x, y) as 0xAARRGGBB (premultiplied, as stored).
uint32_t PixelAt(const Bitmap& bitmap, int x, int y);
// Every pixel set to `argb` (premultiplied).
void FillBitmap(Bitmap& bitmap, uint32_t argb);

// Each colour channel within `tolerance`; alpha too when `withAlpha` (opaque GDI drawing
// leaves the alpha byte undefined, so most checks leave it out).
::testing::AssertionResult ColourNear(uint32_t actual, uint32_t expected, int tolerance = 0, bool withAlpha = false);

// The pixels whose value differs from `background`.
PixelRegion InkOf(const Bitmap& bitmap, uint32_t background, uint32_t mask = 0x00FFFFFF);

// Writes build/<preset>/artifacts/<name>_err.png as a window would show the pixels (their
// colour, alpha ignored: GDI's opaque drawing leaves alpha 0); returns its path (empty when
// it failed).
std::string SaveFailure(const Bitmap& bitmap, const std::string& name);
// The current test's name, for SaveFailure.
std::string CurrentTestName();

}  // namespace rundix::test

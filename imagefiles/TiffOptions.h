// The general TIFF writer's int arguments as the code uses them. Each enumerator is
// the int a C caller passes, so a call can name its arguments; WriteTiffFile and
// SwapSampleWords turn the ints they are given into these once, on entry.
#pragma once

// photometricKind: the kind of image and how its pixels are stored.
enum TiffImageKind : int {
  kTiffGray = 1,     // one sample a pixel, min-is-black
  kTiffRgb = 2,      // 3-byte pixels, given blue first, written red first
  kTiffPalette = 3,  // one index a pixel, with a colour map
};

// compressionKind. Any other int asks for a scheme that does not exist.
enum TiffCompressionKind : int {
  kTiffUncompressed = 0,
  kTiffJpeg = 1,
  kTiffLzw = 2,
  kTiffNoSuchScheme = -1,  // what every other int becomes: the first row fails
};

// swapMode: how the little-endian 16-bit words of each row are rearranged. Any other
// int leaves them as given.
enum SampleWordSwap : int {
  kWordsAsGiven = 1,
  kWordBytesSwapped = 2,            // 0xABCD -> 0xCDAB
  kLowNibblesSwapped = 3,           // 0xABCD -> 0xABDC
  kLowNibblesThenBytesSwapped = 4,  // 0xABCD -> 0xDCAB
  kWordRotatedLeft4 = 5,            // 0xABCD -> 0xBCDA
};

// False for an int that names no image kind (WriteTiffFile then returns -1).
constexpr bool TiffImageKindOf(int photometricKind, TiffImageKind* kind) {
  if (photometricKind < kTiffGray || photometricKind > kTiffPalette) return false;
  *kind = static_cast<TiffImageKind>(photometricKind);
  return true;
}

constexpr TiffCompressionKind TiffCompressionKindOf(int compressionKind) {
  return compressionKind >= kTiffUncompressed && compressionKind <= kTiffLzw
             ? static_cast<TiffCompressionKind>(compressionKind)
             : kTiffNoSuchScheme;
}

constexpr SampleWordSwap SampleWordSwapOf(int swapMode) {
  return swapMode >= kWordBytesSwapped && swapMode <= kWordRotatedLeft4 ? static_cast<SampleWordSwap>(swapMode)
                                                                        : kWordsAsGiven;
}

// The results of WriteTiffFile and WriteTiffFrame.
enum TiffWriteResult : int {
  kTiffWriterRan = 0,          // also when a row failed, or when nothing could be written
  kTiffFileRefused = 2,        // not opened, not a TIFF file or a broken chain: left unchanged
  kTiffUnknownImageKind = -1,  // nothing written
};

#include "stacking/picture_header.h"

#include <cstdint>

namespace velmira::stacking {

namespace {

uint32_t be(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return v;
}

uint32_t le(const std::string& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
  return v;
}

std::optional<PictureInfo> jpeg(const std::string& b) {
  size_t at = 2;
  while (at + 4 <= b.size()) {
    if (static_cast<uint8_t>(b[at]) != 0xFF) return std::nullopt;
    uint8_t marker = static_cast<uint8_t>(b[at + 1]);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      at += 2;
      continue;
    }
    uint32_t length = be(b, at + 2, 2);
    if (length < 2) return std::nullopt;
    // Start of frame: every SOFn but the DHT (C4), JPG (C8) and DAC (CC)
    // markers that share the range.
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (at + 9 > b.size()) return std::nullopt;
      PictureInfo info{static_cast<int>(be(b, at + 7, 2)), static_cast<int>(be(b, at + 5, 2)),
                       static_cast<int>(static_cast<uint8_t>(b[at + 4]))};
      if (info.width <= 0 || info.height <= 0) return std::nullopt;
      return info;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // scan before any frame header
    at += 2 + length;
  }
  return std::nullopt;
}

std::optional<PictureInfo> png(const std::string& b) {
  if (b.size() < 26 || b.compare(12, 4, "IHDR") != 0) return std::nullopt;
  PictureInfo info{static_cast<int>(be(b, 16, 4)), static_cast<int>(be(b, 20, 4)),
                   static_cast<int>(static_cast<uint8_t>(b[24]))};
  if (info.width <= 0 || info.height <= 0) return std::nullopt;
  return info;
}

std::optional<PictureInfo> tiff(const std::string& b) {
  const bool little = b[0] == 'I';
  auto get = [&](size_t at, int n) -> std::optional<uint32_t> {
    if (at + static_cast<size_t>(n) > b.size()) return std::nullopt;
    return little ? le(b, at, n) : be(b, at, n);
  };
  auto ifd = get(4, 4);
  if (!ifd) return std::nullopt;
  auto count = get(*ifd, 2);
  if (!count) return std::nullopt;
  PictureInfo info{0, 0, 0};
  for (uint32_t i = 0; i < *count; ++i) {
    size_t entry = *ifd + 2 + 12 * static_cast<size_t>(i);
    auto tag = get(entry, 2), type = get(entry + 2, 2), n = get(entry + 4, 4);
    if (!tag || !type || !n) return std::nullopt;
    // A field of up to four bytes holds the values; a longer one, where
    // they are.  A SHORT (type 3) takes two bytes.
    const bool inlineValue = *n == 1 || (*type == 3 && *n <= 2);
    auto value = *type == 3 && inlineValue ? get(entry + 8, 2) : get(entry + 8, 4);
    if (!value) return std::nullopt;
    if (*tag == 256) info.width = static_cast<int>(*value);
    if (*tag == 257) info.height = static_cast<int>(*value);
    if (*tag == 258) {
      if (inlineValue) {
        info.bitsPerSample = static_cast<int>(*value);
      } else {  // one per channel, elsewhere in the file
        auto first = get(*value, *type == 3 ? 2 : 4);
        if (!first) return std::nullopt;
        info.bitsPerSample = static_cast<int>(*first);
      }
    }
  }
  if (info.width <= 0 || info.height <= 0) return std::nullopt;
  if (info.bitsPerSample == 0) info.bitsPerSample = 1;
  return info;
}

}  // namespace

std::optional<PictureInfo> readPictureHeader(const std::string& b) {
  if (b.size() >= 4 && static_cast<uint8_t>(b[0]) == 0xFF && static_cast<uint8_t>(b[1]) == 0xD8) return jpeg(b);
  if (b.size() >= 8 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) return png(b);
  if (b.size() >= 8 && (b.compare(0, 4, std::string("II*\0", 4)) == 0 || b.compare(0, 4, std::string("MM\0*", 4)) == 0))
    return tiff(b);
  return std::nullopt;
}

}  // namespace velmira::stacking

#include "package/Resources.h"

#include <array>
#include <string>
#include <string_view>

#include "design/TabrixCreateEditors.h"

namespace tabrix::package {
namespace {

// The 16 standard colours, index 0 to 15, as 0xRRGGBB: written little-endian, each is the
// RGBQUAD its palette entry holds (blue, green, red, reserved).
constexpr uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
enum : uint8_t {
  Black,
  Maroon,
  Green,
  Olive,
  Navy,
  Purple,
  Teal,
  Silver,
  Gray,
  Red,
  Lime,
  Yellow,
  Blue,
  Fuchsia,
  Aqua,
  White
};

// A picture of palette indices, row 0 at the top.
struct Picture {
  int size;
  std::vector<uint8_t> pixels;
  explicit Picture(int n, uint8_t background) : size(n), pixels(n * n, background) {}
  void Fill(int x0, int y0, int x1, int y1, uint8_t c) {  // inclusive corners
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) pixels[y * size + x] = c;
  }
  void Frame(int x0, int y0, int x1, int y1, uint8_t c) {
    Fill(x0, y0, x1, y0, c);
    Fill(x0, y1, x1, y1, c);
    Fill(x0, y0, x0, y1, c);
    Fill(x1, y0, x1, y1, c);
  }
  uint8_t At(int x, int y) const { return pixels[y * size + x]; }
};

// A workbook sheet (white cells, green header, grey grid) with a data-source drum on it.
Picture Draw(int n, uint8_t background) {
  Picture p(n, background);
  const int s = n / 12;  // 2 at 24, 2 at 32 with room to spare
  const int right = n - 2 * s;
  p.Fill(1, 1, right, n - 2, White);
  p.Fill(1, 1, right, 1 + 2 * s, Green);
  for (int x = 1 + 3 * s; x < right; x += 3 * s) p.Fill(x, 2 + 2 * s, x, n - 2, Silver);
  for (int y = 2 + 4 * s; y < n - 2; y += 2 * s + 1) p.Fill(1, y, right, y, Silver);
  p.Frame(1, 1, right, n - 2, Black);
  // The drum: a navy body with an aqua top, bottom right.
  const int x0 = n / 2, x1 = n - 2, y0 = n / 2, y1 = n - 2;
  p.Fill(x0 + 1, y0, x1 - 1, y1, Navy);
  p.Fill(x0, y0 + 1, x1, y1 - 1, Navy);
  p.Fill(x0 + 1, y0 + 1, x1 - 1, y0 + 2, Aqua);
  p.Fill(x0 + 1, y0 + 5, x1 - 1, y0 + 5, Teal);
  return p;
}

void Put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// BITMAPINFOHEADER, palette and 4-bit rows bottom up; `heightFactor` 2 for an icon image,
// whose header counts the mask rows too.
void PutDib(Bytes& b, const Picture& p, int heightFactor) {
  const uint32_t stride = ((p.size * 4 + 31) / 32) * 4;
  Put32(b, 40);
  Put32(b, p.size);
  Put32(b, p.size * heightFactor);
  Put16(b, 1);  // planes
  Put16(b, 4);  // bits per pixel
  Put32(b, 0);  // no compression
  Put32(b, stride * p.size);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 16);
  Put32(b, 0);
  for (uint32_t rgb : kPalette) Put32(b, rgb);
  for (int y = p.size - 1; y >= 0; --y) {
    Bytes row(stride, 0);
    for (int x = 0; x < p.size; ++x) row[x / 2] |= p.At(x, y) << (x % 2 ? 0 : 4);
    b.insert(b.end(), row.begin(), row.end());
  }
}

Bytes MakeBitmap() {
  const Picture p = Draw(24, Silver);  // the palette takes the bottom-left colour as clear
  Bytes dib;
  PutDib(dib, p, 1);
  Bytes b = {'B', 'M'};
  Put32(b, 14 + dib.size());
  Put32(b, 0);
  Put32(b, 14 + 40 + 64);
  b.insert(b.end(), dib.begin(), dib.end());
  return b;
}

Bytes MakeIcon() {
  constexpr uint8_t kClear = Fuchsia;  // drawn nowhere: marks the transparent pixels
  const Picture p = Draw(32, kClear);
  Bytes image;
  PutDib(image, p, 2);
  for (int y = p.size - 1; y >= 0; --y) {  // the AND mask: 1 where transparent
    Bytes row(4, 0);
    for (int x = 0; x < p.size; ++x)
      if (p.At(x, y) == kClear) row[x / 8] |= 0x80 >> (x % 8);
    image.insert(image.end(), row.begin(), row.end());
  }
  // The transparent pixels themselves are black, as the XOR image requires.
  const size_t pixelsAt = 40 + 64;
  for (size_t i = pixelsAt; i < pixelsAt + 16 * 32; ++i) {
    uint8_t& v = image[i];
    if ((v >> 4) == kClear) v &= 0x0F;
    if ((v & 0x0F) == kClear) v &= 0xF0;
  }
  Bytes b;
  Put16(b, 0);
  Put16(b, 1);  // icon
  Put16(b, 1);  // one image
  b.push_back(32);
  b.push_back(32);
  b.push_back(16);  // colours
  b.push_back(0);
  Put16(b, 1);  // planes
  Put16(b, 4);  // bits per pixel
  Put32(b, image.size());
  Put32(b, 6 + 16);
  b.insert(b.end(), image.begin(), image.end());
  return b;
}

// One block of a version resource: its length, its value's length (in bytes, or in UTF-16
// units for text), its type (1 text, 0 binary) and key, then the value and the children,
// each starting on a 4-byte boundary.
Bytes VersionNode(std::u16string_view key, uint16_t valueLength, uint16_t type,
                  const Bytes& value, const std::vector<Bytes>& children) {
  Bytes b;
  Put16(b, 0);  // the length, once known
  Put16(b, valueLength);
  Put16(b, type);
  for (char16_t c : key) Put16(b, c);
  Put16(b, 0);
  while (b.size() % 4) b.push_back(0);
  b.insert(b.end(), value.begin(), value.end());
  for (const Bytes& child : children) {
    while (b.size() % 4) b.push_back(0);
    b.insert(b.end(), child.begin(), child.end());
  }
  b[0] = static_cast<uint8_t>(b.size() & 0xFF);
  b[1] = static_cast<uint8_t>(b.size() >> 8);
  return b;
}

// A String of the string table: text in UTF-16 with its NUL (the strings are ASCII).
Bytes VersionString(std::u16string_view key, std::string_view text) {
  Bytes value;
  for (char c : text) Put16(value, static_cast<unsigned char>(c));
  Put16(value, 0);
  return VersionNode(key, static_cast<uint16_t>(text.size() + 1), 1, value, {});
}

std::string Dotted(const uint16_t (&v)[4]) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

Bytes MakeVersionBlock() {
  Bytes fixed;
  Put32(fixed, 0xFEEF04BD);  // signature
  Put32(fixed, 0x00010000);  // structure version
  Put32(fixed, (kFileVersion[0] << 16) | kFileVersion[1]);
  Put32(fixed, (kFileVersion[2] << 16) | kFileVersion[3]);
  Put32(fixed, (kProductVersion[0] << 16) | kProductVersion[1]);
  Put32(fixed, (kProductVersion[2] << 16) | kProductVersion[3]);
  Put32(fixed, 0x3F);     // flags mask
  Put32(fixed, 0);        // flags
  Put32(fixed, 0x40004);  // NT, 32-bit Windows
  Put32(fixed, 2);        // a library
  Put32(fixed, 0);
  Put32(fixed, 0);
  Put32(fixed, 0);
  // US English (0409) in Unicode (04B0): the table's name and the one translation listed.
  const Bytes table = VersionNode(
      u"040904B0", 0, 1, {},
      {VersionString(u"CompanyName", TabrixCreateUnit::kAuthor),
       VersionString(u"FileDescription", TABRIX_PACKAGE_DESCRIPTION),
       VersionString(u"FileVersion", Dotted(kFileVersion)),
       VersionString(u"LegalCopyright", TabrixCreateUnit::kCopyright),
       VersionString(u"ProductName", TABRIX_PRODUCT),
       VersionString(u"ProductVersion", Dotted(kProductVersion))});
  Bytes translation;
  Put16(translation, 0x0409);
  Put16(translation, 0x04B0);
  return VersionNode(u"VS_VERSION_INFO", static_cast<uint16_t>(fixed.size()), 0, fixed,
                     {VersionNode(u"StringFileInfo", 0, 1, {}, {table}),
                      VersionNode(u"VarFileInfo", 0, 1, {},
                                  {VersionNode(u"Translation", 4, 0, translation, {})})});
}

}  // namespace

const Bytes& PaletteBitmap() {
  static const Bytes bytes = MakeBitmap();
  return bytes;
}

const Bytes& MainIcon() {
  static const Bytes bytes = MakeIcon();
  return bytes;
}

const Bytes& VersionBlock() {
  static const Bytes bytes = MakeVersionBlock();
  return bytes;
}

}  // namespace tabrix::package

// The about verb's drawing module: the design-time about box, drawn to a PNG file from the
// form's own controls, fonts and positions after SetLabels, so its layout can be checked by
// eye. It is a module of its own so that only this verb loads FreeType, fontconfig and libpng.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <string>
#include "TabrixVersion.h"
#include "design/TabrixCreateEditors.h"
#include "design/eOrvaneAbout.h"
#include "platform/framework/FreeTypeFonts.h"

#include "tools/tabrix/AboutDrawing.h"

namespace {

using namespace platform;

constexpr uint32_t kHighlight = 0xFFFFFF;
constexpr uint32_t kShadow = 0x808080;
constexpr uint32_t kDarkShadow = 0x000000;
constexpr uint32_t kTitleBar = 0x000080;
constexpr int32_t kBorder = 3;  // a dialog frame
constexpr int32_t kTitleHeight = 18;

class Canvas {
 public:
  Canvas(int32_t width, int32_t height) : width_(width), height_(height), rgb_(width * height) {}

  void Pixel(int32_t x, int32_t y, uint32_t rgb) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) rgb_[y * width_ + x] = rgb;
  }
  void Fill(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgb) {
    for (int32_t j = y; j < y + h; ++j)
      for (int32_t i = x; i < x + w; ++i) Pixel(i, j, rgb);
  }
  // A raised 3D edge: light top and left, dark bottom and right.
  void Raised(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t light, uint32_t dark) {
    Fill(x, y, w, 1, light);
    Fill(x, y, 1, h, light);
    Fill(x, y + h - 1, w, 1, dark);
    Fill(x + w - 1, y, 1, h, dark);
  }
  // Text with its line's top at y; answers its width.
  int32_t Text(int32_t x, int32_t y, const TFont& font, const std::string& text) {
    const freetype::FontMetrics m = freetype::Metrics(font);
    const uint32_t rgb = ColorToRGB(font.Color);
    const int32_t baseline = y + m.ascent;
    const int32_t width =
        freetype::Layout(font, text, [&](int32_t pen, const freetype::GlyphBitmap& g) {
          for (int32_t r = 0; r < g.rows; ++r)
            for (int32_t c = 0; c < g.width; ++c)
              if (g.bits[r * g.pitch + c / 8] & (0x80 >> (c % 8)))
                Pixel(x + pen + g.left + c, baseline - g.top + r, rgb);
        });
    if (font.Style & (1u << fsUnderline)) Fill(x, baseline + 1, width, 1, rgb);
    return width;
  }

  void WritePng(const std::string& path) const {
    std::unique_ptr<FILE, decltype(&fclose)> file(fopen(path.c_str(), "wb"), fclose);
    if (!file) throw std::runtime_error(path + ": cannot be written");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    struct Release {
      png_structp& png;
      png_infop& info;
      ~Release() { png_destroy_write_struct(&png, &info); }
    } release{png, info};
    if (!info) throw std::runtime_error("libpng cannot start");
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error(path + ": writing failed");
    png_init_io(png, file.get());
    png_set_IHDR(png, info, width_, height_, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(width_ * 3);
    for (int32_t y = 0; y < height_; ++y) {
      for (int32_t x = 0; x < width_; ++x) {
        const uint32_t rgb = rgb_[y * width_ + x];
        row[x * 3] = (rgb >> 16) & 0xFF;
        row[x * 3 + 1] = (rgb >> 8) & 0xFF;
        row[x * 3 + 2] = rgb & 0xFF;
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
  }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<uint32_t> rgb_;
};

void DrawLabel(Canvas& canvas, int32_t x0, int32_t y0, const TLabel& label, uint32_t face) {
  if (!label.GetTransparent())
    canvas.Fill(x0 + label.GetLeft(), y0 + label.GetTop(), label.GetWidth(), label.GetHeight(),
                face);
  canvas.Text(x0 + label.GetLeft(), y0 + label.GetTop(), label.GetFont(),
              TLabel::DisplayText(label.GetCaption()));
}

void DrawBevel(Canvas& canvas, int32_t x0, int32_t y0, const TBevel& bevel) {
  const int32_t x = x0 + bevel.GetLeft(), y = y0 + bevel.GetTop();
  const bool lowered = bevel.GetStyle() == bsLowered;
  const uint32_t first = lowered ? kShadow : kHighlight, second = lowered ? kHighlight : kShadow;
  if (bevel.GetShape() == bsTopLine) {
    canvas.Fill(x, y, bevel.GetWidth(), 1, first);
    canvas.Fill(x, y + 1, bevel.GetWidth(), 1, second);
  } else {
    canvas.Raised(x, y, bevel.GetWidth(), bevel.GetHeight(), second, first);
  }
}

void DrawButton(Canvas& canvas, int32_t x0, int32_t y0, const TButton& button) {
  int32_t x = x0 + button.GetLeft(), y = y0 + button.GetTop();
  int32_t w = button.GetWidth(), h = button.GetHeight();
  if (button.GetDefault()) {  // the default button's extra black frame
    canvas.Raised(x, y, w, h, kDarkShadow, kDarkShadow);
    ++x, ++y, w -= 2, h -= 2;
  }
  canvas.Raised(x, y, w, h, kHighlight, kDarkShadow);
  canvas.Raised(x + 1, y + 1, w - 2, h - 2, kHighlight, kShadow);
  const std::string caption = TLabel::DisplayText(button.GetCaption());
  const TSize size = TextExtent(button.GetFont(), caption);
  canvas.Text(x0 + button.GetLeft() + (button.GetWidth() - size.cx) / 2,
              y0 + button.GetTop() + (button.GetHeight() - size.cy) / 2, button.GetFont(), caption);
}

// The form in its dialog frame with a title bar; the controls in creation order.
void Render(const TForm& form, const std::string& path) {
  const int32_t width = form.GetClientWidth() + 2 * kBorder;
  const int32_t height = form.GetClientHeight() + 2 * kBorder + kTitleHeight;
  const uint32_t face = ColorToRGB(form.GetColor());
  Canvas canvas(width, height);
  canvas.Fill(0, 0, width, height, face);
  canvas.Raised(0, 0, width, height, face, kDarkShadow);
  canvas.Raised(1, 1, width - 2, height - 2, kHighlight, kShadow);
  canvas.Fill(kBorder, kBorder, width - 2 * kBorder, kTitleHeight - 1, kTitleBar);
  TFont title = form.GetFont();
  title.Color = clWhite;
  canvas.Text(kBorder + 3, kBorder + (kTitleHeight - 1 - TextExtent(title, "").cy) / 2, title,
              form.GetCaption());

  const int32_t x0 = kBorder, y0 = kBorder + kTitleHeight;
  for (int32_t i = 0; i < form.ComponentCount(); ++i) {
    const TComponent* c = form.Components(i);
    if (auto* label = dynamic_cast<const TLabel*>(c)) DrawLabel(canvas, x0, y0, *label, face);
    if (auto* bevel = dynamic_cast<const TBevel*>(c)) DrawBevel(canvas, x0, y0, *bevel);
    if (auto* button = dynamic_cast<const TButton*>(c)) DrawButton(canvas, x0, y0, *button);
  }
  canvas.WritePng(path);
}

}  // namespace

#define TABRIX_MODULE_ENTRY extern "C" __attribute__((visibility("default")))

TABRIX_MODULE_ENTRY int TabrixMeasureText(const char* fontName, int32_t height, uint32_t style,
                                          int32_t charset, const char* text, size_t length,
                                          int32_t* cx, int32_t* cy, char* error, size_t errorSize) {
  try {
    platform::TFont font;
    font.Name = fontName;
    font.Height = height;
    font.Style = style;
    font.Charset = charset;
    const platform::TSize size = platform::TextExtent(font, std::string_view(text, length));
    *cx = size.cx;
    *cy = size.cy;
    return 0;
  } catch (const std::exception& e) {
    std::snprintf(error, errorSize, "%s", e.what());
  }
  return 1;
}

TABRIX_MODULE_ENTRY int TabrixDrawAbout(const char* png, char* error, size_t errorSize) {
  try {
    eOrvaneAbout::TOrvaneAboutForm form(nullptr);
    form.SetLabels("TTabrixCreator", TABRIX_VERSION, TabrixCreateUnit::kAuthor,
                   TabrixCreateUnit::kCopyright, TabrixCreateUnit::kWebAddress);
    Render(form, png);
    return 0;
  } catch (const std::exception& e) {
    std::snprintf(error, errorSize, "%s", e.what());
  } catch (...) {
    std::snprintf(error, errorSize, "an unexpected failure");
  }
  return 1;
}

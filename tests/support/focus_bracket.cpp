#include "tests/support/focus_bracket.h"

#include <jpeglib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace velmira::test {

namespace {

// A picture of floats, one plane per channel.
struct Planes {
  int w = 0, h = 0, c = 0;
  std::vector<float> v;
  Planes() = default;
  Planes(int w_, int h_, int c_) : w(w_), h(h_), c(c_), v(static_cast<size_t>(w_) * h_ * c_) {}
  size_t index(int ch, int x, int y) const { return (static_cast<size_t>(ch) * h + y) * w + x; }
  float& at(int ch, int x, int y) { return v[index(ch, x, y)]; }
  float at(int ch, int x, int y) const { return v[index(ch, x, y)]; }
  float bilinear(int ch, double x, double y) const {
    x = std::clamp(x, 0.0, w - 1.001);
    y = std::clamp(y, 0.0, h - 1.001);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    return (at(ch, x0, y0) * (1 - fx) + at(ch, x0 + 1, y0) * fx) * (1 - fy) +
           (at(ch, x0, y0 + 1) * (1 - fx) + at(ch, x0 + 1, y0 + 1) * fx) * fy;
  }
};

void blurLine(const float* in, float* out, int n, int stride, const std::vector<float>& kernel) {
  const int r = static_cast<int>(kernel.size() / 2);
  for (int i = 0; i < n; ++i) {
    float s = 0;
    for (int k = -r; k <= r; ++k) s += kernel[static_cast<size_t>(k + r)] * in[std::clamp(i + k, 0, n - 1) * stride];
    out[i * stride] = s;
  }
}

Planes gaussian(const Planes& in, double sigma) {
  if (sigma <= 0) return in;
  const int r = static_cast<int>(std::ceil(3 * sigma));
  std::vector<float> k(static_cast<size_t>(2 * r + 1));
  float sum = 0;
  for (int i = -r; i <= r; ++i) sum += k[static_cast<size_t>(i + r)] = static_cast<float>(std::exp(-i * i / (2 * sigma * sigma)));
  for (float& x : k) x /= sum;
  Planes tmp = in, out = in;
  for (int ch = 0; ch < in.c; ++ch) {
    for (int y = 0; y < in.h; ++y) blurLine(&in.v[in.index(ch, 0, y)], &tmp.v[in.index(ch, 0, y)], in.w, 1, k);
    for (int x = 0; x < in.w; ++x) blurLine(&tmp.v[in.index(ch, x, 0)], &out.v[in.index(ch, x, 0)], in.h, in.w, k);
  }
  return out;
}

// In 8 bits, each pixel made a square of `factor` pixels.
Rgb8 toRgb8(const Planes& p, int factor = 1) {
  Rgb8 out{p.w * factor, p.h * factor, std::vector<uint8_t>(static_cast<size_t>(p.w) * p.h * 3 * factor * factor)};
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int ch = 0; ch < 3; ++ch)
        out.pixels[(static_cast<size_t>(y) * out.width + x) * 3 + ch] =
            static_cast<uint8_t>(std::clamp(p.at(ch, x / factor, y / factor) * 255.0f + 0.5f, 0.0f, 255.0f));
  return out;
}

Planes luminance(const Rgb8& p) {
  Planes out(p.width, p.height, 1);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* px = &p.pixels[(static_cast<size_t>(y) * p.width + x) * 3];
      out.at(0, x, y) = (0.299f * px[0] + 0.587f * px[1] + 0.114f * px[2]) / 255.0f;
    }
  return out;
}

// Value noise: random values on a lattice of `cell` pixels, smoothly
// interpolated.
void addNoise(Planes& p, int ch, double cell, double amplitude, std::mt19937& rng) {
  const int gw = static_cast<int>(p.w / cell) + 3, gh = static_cast<int>(p.h / cell) + 3;
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<float> g(static_cast<size_t>(gw) * gh);
  for (float& x : g) x = u(rng);
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x) {
      const double gx = x / cell, gy = y / cell;
      const int x0 = static_cast<int>(gx), y0 = static_cast<int>(gy);
      double fx = gx - x0, fy = gy - y0;
      fx = fx * fx * (3 - 2 * fx);
      fy = fy * fy * (3 - 2 * fy);
      auto G = [&](int i, int j) { return g[static_cast<size_t>(j) * gw + i]; };
      const double v = (G(x0, y0) * (1 - fx) + G(x0 + 1, y0) * fx) * (1 - fy) +
                       (G(x0, y0 + 1) * (1 - fx) + G(x0 + 1, y0 + 1) * fx) * fy;
      p.at(ch, x, y) += static_cast<float>(amplitude * v);
    }
}

// The sigmas of the precomputed blurs; a point's blur mixes the two around it.
const double kLevels[] = {0, 0.5, 1, 1.5, 2, 3, 4, 6, 8};
constexpr int kLevelCount = sizeof kLevels / sizeof kLevels[0];

double gradientEnergy(const Planes& p, int x0, int y0, int size) {
  double sum = 0;
  for (int y = y0 + 1; y < y0 + size - 1; ++y)
    for (int x = x0 + 1; x < x0 + size - 1; ++x) {
      const double gx = p.at(0, x + 1, y) - p.at(0, x - 1, y), gy = p.at(0, x, y + 1) - p.at(0, x, y - 1);
      sum += gx * gx + gy * gy;
    }
  return std::sqrt(sum / ((size - 2) * (size - 2)));
}

// Mean squared difference of a tile of `a` at (ax, ay) against `b` at (bx, by).
double difference(const Planes& a, int ax, int ay, const Planes& b, int bx, int by, int size, int step) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < size; y += step)
    for (int x = 0; x < size; x += step) {
      const double d = a.at(0, ax + x, ay + y) - b.at(0, bx + x, by + y);
      sum += d * d;
      ++n;
    }
  return sum / n;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("no temporary folder");
  path_ = tmpl;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchFolder::names() const {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(path_)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

bool writeJpeg(const std::string& path, const Rgb8& picture, int quality) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = static_cast<JDIMENSION>(picture.width);
  c.image_height = static_cast<JDIMENSION>(picture.height);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&picture.pixels[static_cast<size_t>(c.next_scanline) * picture.width * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  return std::fclose(f) == 0;
}

std::optional<Rgb8> readJpeg(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_stdio_src(&d, f);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  Rgb8 out{static_cast<int>(d.output_width), static_cast<int>(d.output_height), {}};
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out.pixels[static_cast<size_t>(d.output_scanline) * out.width * 3];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  std::fclose(f);
  return out;
}

Rgb8 writeBracket(const std::string& folder, const BracketOptions& options) {
  BracketOptions o = options;
  o.width /= o.enlarge;
  o.height /= o.enlarge;
  const int margin = o.maxShift + 4;
  const int sw = o.width + 2 * margin, sh = o.height + 2 * margin;
  std::mt19937 rng(o.seed);
  // The texture: detail from a few pixels to a tenth of the picture, in colour.
  Planes scene(sw, sh, 3);
  for (int ch = 0; ch < 3; ++ch) {
    addNoise(scene, ch, 2.5, 0.20, rng);
    addNoise(scene, ch, 6, 0.16, rng);
    addNoise(scene, ch, 17, 0.12, rng);
    addNoise(scene, ch, std::max(sw, sh) / 8.0, 0.10, rng);
  }
  for (float& v : scene.v) v = std::clamp(0.5f + v, 0.02f, 0.98f);
  // The depth, 0 (nearest) to 1, a smooth landscape that covers the range.
  auto depth = [&](double x, double y) {
    const double u = x / sw, v = y / sh;
    const double d = 0.5 + 0.3 * std::sin(5.0 * u + 1.0) * std::cos(4.0 * v) + 0.35 * (u - 0.5) + 0.15 * (v - 0.5);
    return std::clamp(d, 0.0, 1.0);
  };
  std::vector<Planes> levels;
  for (double s : kLevels) levels.push_back(gaussian(scene, s));

  std::uniform_int_distribution<int> shift(-o.maxShift, o.maxShift);
  const double cx = (o.width - 1) / 2.0, cy = (o.height - 1) / 2.0;
  for (int k = 0; k < o.frames; ++k) {
    const double scale = 1 + o.breathing * k;
    const int dx = k ? shift(rng) : 0, dy = k ? shift(rng) : 0;
    const double focus = o.frames > 1 ? static_cast<double>(k) / (o.frames - 1) : 0.5;
    Planes frame(o.width, o.height, 3);
    for (int y = 0; y < o.height; ++y)
      for (int x = 0; x < o.width; ++x) {
        const double sx = cx + (x - cx) / scale + dx + margin, sy = cy + (y - cy) / scale + dy + margin;
        // The blur grows with the distance from the focal plane, counted
        // in frame spacings; within a third of a spacing it is sharp.
        const double spacings = std::abs(depth(sx, sy) - focus) * (o.frames - 1);
        const double sigma = std::min(kLevels[kLevelCount - 1], 2.0 * std::max(0.0, spacings - 0.3));
        int l = 0;
        while (l + 2 < kLevelCount && kLevels[l + 1] < sigma) ++l;
        const float t = static_cast<float>((sigma - kLevels[l]) / (kLevels[l + 1] - kLevels[l]));
        for (int ch = 0; ch < 3; ++ch)
          frame.at(ch, x, y) = levels[static_cast<size_t>(l)].bilinear(ch, sx, sy) * (1 - t) +
                               levels[static_cast<size_t>(l + 1)].bilinear(ch, sx, sy) * t;
      }
    char name[32];
    std::snprintf(name, sizeof name, "/foto-%04d.jpg", k + 1);
    writeJpeg(folder + name, toRgb8(frame, o.enlarge), o.quality);
  }
  Planes truth(o.width, o.height, 3);
  for (int ch = 0; ch < 3; ++ch)
    for (int y = 0; y < o.height; ++y)
      for (int x = 0; x < o.width; ++x) truth.at(ch, x, y) = scene.at(ch, x + margin, y + margin);
  return toRgb8(truth, o.enlarge);
}

Score scorePicture(const Rgb8& picture, const Rgb8& truthRgb, int search) {
  const Planes pic = luminance(picture), truth = luminance(truthRgb);
  const int tile = std::max(32, std::min(picture.width, picture.height) / 12);
  // Where the picture sits in the truth: the best match of its middle.
  const int mid = std::min(pic.w, pic.h) / 2;
  const int mx = (pic.w - mid) / 2, my = (pic.h - mid) / 2;
  int ox = 0, oy = 0;
  double best = 1e30;
  for (int y = -search; y <= search; ++y)
    for (int x = -search; x <= search; ++x) {
      if (mx + x < 0 || my + y < 0 || mx + x + mid > truth.w || my + y + mid > truth.h) continue;
      const double d = difference(pic, mx, my, truth, mx + x, my + y, mid, 4);
      if (d < best) best = d, ox = x, oy = y;
    }
  Score s;
  std::vector<double> ratios;
  const int local = 4 + search / 2;  // a single frame's magnification moves its edges further
  for (int ty = 0; ty + tile <= pic.h; ty += tile)
    for (int tx = 0; tx + tile <= pic.w; tx += tile) {
      // The tile's own best match around the global one, to a tenth of a pixel.
      double bestD = 1e30;
      int bx = 0, by = 0;
      for (int y = -local; y <= local; ++y)
        for (int x = -local; x <= local; ++x) {
          const int X = tx + ox + x, Y = ty + oy + y;
          if (X < 1 || Y < 1 || X + tile + 1 > truth.w || Y + tile + 1 > truth.h) continue;
          const double d = difference(pic, tx, ty, truth, X, Y, tile, 1);
          if (d < bestD) bestD = d, bx = x, by = y;
        }
      if (bestD >= 1e30) continue;
      const int X = tx + ox + bx, Y = ty + oy + by;
      auto at = [&](int x, int y) { return difference(pic, tx, ty, truth, X + x, Y + y, tile, 1); };
      auto vertex = [](double l, double c, double r) {
        const double den = l - 2 * c + r;
        return den > 0 ? 0.5 * (l - r) / den : 0.0;
      };
      const double fx = vertex(at(-1, 0), bestD, at(1, 0)), fy = vertex(at(0, -1), bestD, at(0, 1));
      // Against the global placement: the crop moves all tiles alike.
      s.maxShift = std::max(s.maxShift, std::hypot(bx + fx, by + fy));
      const double contrast = gradientEnergy(truth, X, Y, tile);
      ratios.push_back(gradientEnergy(pic, tx, ty, tile) / std::max(1e-6, contrast));
      double mean = 0, var = 0;
      for (int y = 0; y < tile; ++y)
        for (int x = 0; x < tile; ++x) mean += truth.at(0, X + x, Y + y);
      mean /= tile * tile;
      for (int y = 0; y < tile; ++y)
        for (int x = 0; x < tile; ++x) var += std::pow(truth.at(0, X + x, Y + y) - mean, 2);
      var /= tile * tile;
      s.maxResidual = std::max(s.maxResidual, std::sqrt(bestD / std::max(1e-9, var)));
    }
  if (ratios.empty()) return s;
  std::sort(ratios.begin(), ratios.end());
  s.minRatio = ratios.front();
  s.maxRatio = ratios.back();
  s.medianRatio = ratios[ratios.size() / 2];
  return s;
}

}  // namespace velmira::test

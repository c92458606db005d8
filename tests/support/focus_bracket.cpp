#include "tests/support/focus_bracket.h"

#include <jpeglib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>
#include <stdexcept>
#include <tuple>

namespace velmira::test {

namespace {

// A picture of floats, one plane per channel.
struct Planes {
  int w = 0, h = 0, c = 0;
  std::vector<float> v;
  Planes(int w_, int h_, int c_) : w(w_), h(h_), c(c_), v(static_cast<size_t>(w_) * h_ * c_) {}
  float& at(int ch, int x, int y) { return v[(static_cast<size_t>(ch) * h + y) * w + x]; }
  float at(int ch, int x, int y) const { return v[(static_cast<size_t>(ch) * h + y) * w + x]; }
  float bilinear(int ch, double x, double y) const {
    x = std::clamp(x, 0.0, w - 1.001);
    y = std::clamp(y, 0.0, h - 1.001);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const float fx = static_cast<float>(x - x0), fy = static_cast<float>(y - y0);
    return (at(ch, x0, y0) * (1 - fx) + at(ch, x0 + 1, y0) * fx) * (1 - fy) +
           (at(ch, x0, y0 + 1) * (1 - fx) + at(ch, x0 + 1, y0 + 1) * fx) * fy;
  }
};

// Blurred along x, then along y, the edges repeated.
Planes gaussian(const Planes& in, double sigma) {
  const int r = static_cast<int>(std::ceil(3 * sigma));
  std::vector<float> k;
  for (int i = -r; i <= r; ++i) k.push_back(static_cast<float>(std::exp(-i * i / (2 * sigma * sigma))));
  const float sum = std::accumulate(k.begin(), k.end(), 0.0f);
  Planes out = in;
  for (bool across : {true, false}) {
    const Planes from = out;
    for (int ch = 0; ch < in.c; ++ch)
      for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x) {
          float s = 0;
          for (int i = -r; i <= r; ++i)
            s += k[static_cast<size_t>(i + r)] * (across ? from.at(ch, std::clamp(x + i, 0, in.w - 1), y)
                                                         : from.at(ch, x, std::clamp(y + i, 0, in.h - 1)));
          out.at(ch, x, y) = s / sum;
        }
  }
  return out;
}

// In 8 bits, each pixel made a square of `factor` pixels.
Rgb8 toRgb8(const Planes& p, int factor = 1) {
  Rgb8 out{p.w * factor, p.h * factor, {}};
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int ch = 0; ch < 3; ++ch)
        out.pixels.push_back(static_cast<uint8_t>(std::clamp(p.at(ch, x / factor, y / factor) * 255.0f + 0.5f, 0.0f, 255.0f)));
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

// The root mean square of the gradient inside a tile.
double gradientEnergy(const Planes& p, int x0, int y0, int size) {
  double sum = 0;
  for (int y = y0 + 1; y < y0 + size - 1; ++y)
    for (int x = x0 + 1; x < x0 + size - 1; ++x)
      sum += std::pow(p.at(0, x + 1, y) - p.at(0, x - 1, y), 2) + std::pow(p.at(0, x, y + 1) - p.at(0, x, y - 1), 2);
  return std::sqrt(sum / ((size - 2) * (size - 2)));
}

// Mean squared difference of a tile of `a` at (ax, ay) against `b` at (bx, by).
double difference(const Planes& a, int ax, int ay, const Planes& b, int bx, int by, int size, int step) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < size; y += step)
    for (int x = 0; x < size; x += step, ++n) sum += std::pow(a.at(0, ax + x, ay + y) - b.at(0, bx + x, by + y), 2);
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
  std::mt19937 rng(1);
  // The texture: white noise blurred at a few scales, from a few pixels to
  // a few tens, each of about the same contrast, in colour.
  Planes scene(sw, sh, 3);
  std::normal_distribution<float> white(0, 1);
  for (double sigma : {1.5, 3.0, 7.0, 15.0}) {
    Planes noise(sw, sh, 3);
    for (float& v : noise.v) v = white(rng);
    noise = gaussian(noise, sigma);
    for (size_t i = 0; i < scene.v.size(); ++i) scene.v[i] += static_cast<float>(0.25 * sigma) * noise.v[i];
  }
  for (float& v : scene.v) v = std::clamp(0.5f + v, 0.02f, 0.98f);
  // The depth, 0 (nearest) to 1, a smooth landscape that covers the range.
  auto depth = [&](double x, double y) {
    const double u = x / sw, v = y / sh;
    const double d = 0.5 + 0.3 * std::sin(5.0 * u + 1.0) * std::cos(4.0 * v) + 0.35 * (u - 0.5) + 0.15 * (v - 0.5);
    return std::clamp(d, 0.0, 1.0);
  };
  // The scene blurred by a few sigmas; a point's blur mixes the two around it.
  const std::vector<double> sigmas{0, 0.5, 1, 1.5, 2, 3, 4, 6, 8};
  std::vector<Planes> levels;
  for (double s : sigmas) levels.push_back(s > 0 ? gaussian(scene, s) : scene);

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
        const double sigma = std::min(sigmas.back(), 2.0 * std::max(0.0, spacings - 0.3));
        size_t l = 0;
        while (l + 2 < sigmas.size() && sigmas[l + 1] < sigma) ++l;
        const float t = static_cast<float>((sigma - sigmas[l]) / (sigmas[l + 1] - sigmas[l]));
        for (int ch = 0; ch < 3; ++ch)
          frame.at(ch, x, y) = levels[l].bilinear(ch, sx, sy) * (1 - t) + levels[l + 1].bilinear(ch, sx, sy) * t;
      }
    char name[32];
    std::snprintf(name, sizeof name, "/foto-%04d.jpg", k + 1);
    writeJpeg(folder + name, toRgb8(frame, o.enlarge), 92);
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
  // The best match in the truth of the tile at (tx, ty), within `reach` of
  // (ox, oy) from it: the offset and the difference left.
  auto match = [&](int tx, int ty, int size, int ox, int oy, int reach, int step) {
    std::tuple<double, int, int> best{1e30, 0, 0};
    for (int y = oy - reach; y <= oy + reach; ++y)
      for (int x = ox - reach; x <= ox + reach; ++x)
        if (tx + x >= 1 && ty + y >= 1 && tx + x + size + 1 <= truth.w && ty + y + size + 1 <= truth.h)
          best = std::min(best, {difference(pic, tx, ty, truth, tx + x, ty + y, size, step), x, y});
    return best;
  };
  // Where the picture sits in the truth: the best match of its middle.
  const int mid = std::min(pic.w, pic.h) / 2;
  const auto [d, ox, oy] = match((pic.w - mid) / 2, (pic.h - mid) / 2, mid, 0, 0, search, 4);
  Score s;
  std::vector<double> ratios;
  for (int ty = 0; ty + tile <= pic.h; ty += tile)
    for (int tx = 0; tx + tile <= pic.w; tx += tile) {
      // A single frame's magnification moves its edges further than the crop.
      const auto [bestD, X, Y] = match(tx, ty, tile, ox, oy, 4 + search / 2, 1);
      if (bestD >= 1e30) continue;
      // To a tenth of a pixel: the vertex of the parabola through the neighbours.
      auto at = [&](int x, int y) { return difference(pic, tx, ty, truth, tx + X + x, ty + Y + y, tile, 1); };
      auto vertex = [](double l, double c, double r) { return l - 2 * c + r > 0 ? 0.5 * (l - r) / (l - 2 * c + r) : 0.0; };
      s.maxShift = std::max(s.maxShift, std::hypot(X - ox + vertex(at(-1, 0), bestD, at(1, 0)),
                                                   Y - oy + vertex(at(0, -1), bestD, at(0, 1))));
      ratios.push_back(gradientEnergy(pic, tx, ty, tile) / std::max(1e-6, gradientEnergy(truth, tx + X, ty + Y, tile)));
    }
  if (ratios.empty()) return s;
  std::sort(ratios.begin(), ratios.end());
  s.minRatio = ratios.front();
  s.maxRatio = ratios.back();
  s.medianRatio = ratios[ratios.size() / 2];
  return s;
}

}  // namespace velmira::test

// A synthetic focus bracket and the measure of a fused picture against it.
//
// The scene is a colour texture with detail at every place, over a known
// depth map that spans the whole bracket.  Frame k is focused on the plane
// k/(n-1): each point is blurred by its distance from that plane, the frame
// is magnified a little more than the one before (focus breathing) and
// shifted by a few pixels, and saved as a JPEG, as a camera does.  The
// truth is the scene everywhere in focus, in the first frame's geometry.
//
// The score compares local sharpness tile by tile: the gradient energy of
// the picture against the truth's at the same place.  A fused picture that
// is sharp everywhere scores about 1 in every tile; a blurred tile less; a
// sharpened one more.  Alignment and ghosts are measured on the way: each
// tile is matched to the truth to find its residual shift, and what is left
// of the difference after it, against the truth's own contrast, shows
// ghosts and halos.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmira::test {

// A folder of its own under the temporary directory, removed with what it
// holds.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix = "velmira-stack-");
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // The names of the files and folders in it, sorted.
  std::vector<std::string> names() const;

 private:
  std::string path_;
};

struct Rgb8 {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // RGB, row by row
};

bool writeJpeg(const std::string& path, const Rgb8& picture, int quality);
std::optional<Rgb8> readJpeg(const std::string& path);

struct BracketOptions {
  int width = 800, height = 600, frames = 12;
  double breathing = 0.0025;  // magnification added per frame
  int maxShift = 3;           // pixels, either way
  unsigned seed = 1;
  int quality = 92;
  // Made at 1/enlarge of the size and enlarged: frames of many megapixels
  // for measuring the tools' cost, without the memory of making them whole.
  int enlarge = 1;
};

// Writes foto-0001.jpg ... into `folder`; returns the truth.
Rgb8 writeBracket(const std::string& folder, const BracketOptions& options);

struct Score {
  double minRatio = 0, medianRatio = 0, maxRatio = 0;  // local sharpness against the truth
  double maxShift = 0;   // pixels: the worst tile's residual misalignment
  double maxResidual = 0;  // the worst tile's difference left, against its contrast
};

// `picture` may be cut to the area common to all frames (anywhere within
// `search` pixels of the truth's corner).
Score scorePicture(const Rgb8& picture, const Rgb8& truth, int search = 24);

}  // namespace velmira::test

// Crop, scale and pad of re-encoded video, checked on the decoded pixels of
// lossless (rawvideo) outputs of a vertical luma ramp (Y = row number).
#include "tests/transcode_support.h"

namespace fennick::test {
namespace {

class TranscodeGeometry : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RequireLibraries();
    Dir = std::make_unique<TempDir>();
    ASSERT_TRUE(MakeMedia(Dir->file("ramp.mkv"),
                          "-f lavfi -i nullsrc=size=320x240:rate=25:duration=0.2 -vf geq=lum='Y':cb=128:cr=128 "
                          "-c:v ffv1 -pix_fmt yuv420p"));
  }
  static void TearDownTestSuite() {
    Dir.reset();
  }
  struct TPadColor {
    int Y = -1, Cb = -1, Cr = -1;
  };
  static TConversion Run(const std::string& out, TOptionList options, TPadColor& color) {
    options.insert(options.begin(), {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}});
    return Convert(Dir->file("ramp.mkv"), out, options, {}, [&](TCustomFFmpeg& e) {
      color = {e.Settings().PadColorY, e.Settings().PadColorCb, e.Settings().PadColorCr};
    });
  }
  static std::unique_ptr<TempDir> Dir;
};
std::unique_ptr<TempDir> TranscodeGeometry::Dir;

TEST_F(TranscodeGeometry, CropAndPadWithoutScalingKeepPixelsExact) {
  const std::string out = Dir->file("croppad.avi");
  TPadColor color;
  const TConversion run = Run(out,
                              {{"croptop", "16"}, {"cropbottom", "8"}, {"padtop", "8"}, {"padbottom", "8"},
                               {"padcolor", "255"}},  // red
                              color);
  ASSERT_FALSE(run.Exception) << run.Message;
  const int w = 320, h = 240 - 24 + 16;
  const auto probe = ProbeFile(out);
  ASSERT_EQ(StreamValue(probe, 0, "height"), std::to_string(h));
  const auto yuv = DecodePicture(out, 2, "yuv420p", w * h * 3 / 2);
  ASSERT_FALSE(yuv.empty());
  const uint8_t* Y = yuv.data();
  const uint8_t* U = Y + w * h;
  const uint8_t* V = U + (w / 2) * (h / 2);
  for (int y = 0; y < h; ++y) {
    const int expected = y < 8 || y >= h - 8 ? color.Y : 16 + (y - 8);
    ASSERT_EQ(Y[y * w + 100], expected) << "row " << y;
  }
  EXPECT_EQ(U[1 * (w / 2) + 10], color.Cb);
  EXPECT_EQ(V[1 * (w / 2) + 10], color.Cr);
  EXPECT_EQ(U[(h / 2 - 1) * (w / 2) + 10], color.Cb);
  EXPECT_EQ(U[(h / 4) * (w / 2) + 10], 128);  // the picture itself is grey
}

TEST_F(TranscodeGeometry, CropScaleAndPadTogether) {
  const std::string out = Dir->file("all.avi");
  TPadColor color;
  // 320x240 -> crop 40 top and bottom (320x160) -> scaled to 160x80 -> padded
  // by 80 on every side to 320x240.
  const TConversion run = Run(out,
                              {{"croptop", "40"}, {"cropbottom", "40"}, {"s", "160x80"}, {"padtop", "80"},
                               {"padbottom", "80"}, {"padleft", "80"}, {"padright", "80"}, {"padcolor", "16711680"}},
                              color);  // blue
  ASSERT_FALSE(run.Exception) << run.Message;
  const int w = 320, h = 240;
  const auto probe = ProbeFile(out);
  ASSERT_EQ(StreamValue(probe, 0, "width"), "320");
  ASSERT_EQ(StreamValue(probe, 0, "height"), "240");
  const auto yuv = DecodePicture(out, 1, "yuv420p", w * h * 3 / 2);
  ASSERT_FALSE(yuv.empty());
  const uint8_t* Y = yuv.data();
  const uint8_t* U = Y + w * h;
  const uint8_t* V = U + (w / 2) * (h / 2);
  // Bands: top, bottom, left and right of the inner area.
  for (auto [x, y] : {std::pair{160, 10}, {160, 230}, {10, 120}, {310, 120}, {79, 80}, {240, 159}}) {
    EXPECT_EQ(Y[y * w + x], color.Y) << x << "," << y;
    EXPECT_EQ(U[(y / 2) * (w / 2) + x / 2], color.Cb) << x << "," << y;
    EXPECT_EQ(V[(y / 2) * (w / 2) + x / 2], color.Cr) << x << "," << y;
  }
  // Inside: inner row r shows source row 40 + 2r (half-size scaling).
  for (int r : {2, 20, 40, 60, 77}) EXPECT_NEAR(Y[(80 + r) * w + 160], 40 + 2 * r + 0.5, 3) << "inner row " << r;
  EXPECT_NEAR(U[(60) * (w / 2) + 80], 128, 2);
}

// Padding on one side only, with the scaler converting the layout: the
// picture fills every row below the band, its last rows included.
TEST_F(TranscodeGeometry, OneSidedPadWithALayoutChangeKeepsTheWholePicture) {
  const std::string out = Dir->file("padtop-444.nut");
  const TConversion run =
      Convert(Dir->file("ramp.mkv"), out, {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv444p"}, {"padtop", "8"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  const int w = 320, h = 248;
  const auto probe = ProbeFile(out);
  ASSERT_EQ(StreamValue(probe, 0, "height"), std::to_string(h));
  const auto source = DecodePicture(Dir->file("ramp.mkv"), 1, "gray", w * 240);
  const auto padded = DecodePicture(out, 1, "gray", w * h);
  ASSERT_FALSE(source.empty());
  ASSERT_FALSE(padded.empty());
  for (int y = 8; y < h; ++y)
    for (int x : {0, 160, 319}) ASSERT_NEAR(padded[y * w + x], source[(y - 8) * w + x], 2) << x << "," << y;
}

TEST_F(TranscodeGeometry, DeinterlaceFiltersTheSecondField) {
  // Alternate lines 0 and 200: the first field stays, the second becomes
  // (-1*200 + 4*0 + 2*200 + 4*0 - 200)/8 = 0.
  ASSERT_TRUE(MakeMedia(Dir->file("lines.mkv"),
                        "-f lavfi -i nullsrc=size=64x32:rate=25:duration=0.12 "
                        "-vf geq=lum='if(mod(Y\\,2)\\,200\\,0)':cb=128:cr=128 -c:v ffv1 -pix_fmt yuv420p"));
  const std::string out = Dir->file("deint.avi");
  const TConversion run = Convert(Dir->file("lines.mkv"), out,
                                  {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"deinterlace", "1"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  const auto yuv = DecodePicture(out, 0, "yuv420p", 64 * 32 * 3 / 2);
  ASSERT_FALSE(yuv.empty());
  for (int y = 2; y < 30; ++y) EXPECT_EQ(yuv[y * 64 + 10], 0) << "row " << y;
}

TEST_F(TranscodeGeometry, CropAndPadWorkOnPalettedAndBitPackedPictures) {
  // Paletted: the ramp with a palette, cropped by 8 rows and padded by 8
  // columns; output row r shows source row r + 8.
  ASSERT_TRUE(MakeMedia(Dir->file("ramp-pal8.mkv"), "-i " + ShellQuote(Dir->file("ramp.mkv")) +
                                                        " -pix_fmt pal8 -c:v png"));
  const std::string pal = Dir->file("from-pal8.avi");
  TConversion run = Convert(Dir->file("ramp-pal8.mkv"), pal,
                            {{"vcodec", "rawvideo"}, {"pix_fmt", "yuv420p"}, {"croptop", "8"}, {"padleft", "8"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  ASSERT_EQ(CountFrames(pal, "video"), 5);
  const auto source = DecodePicture(Dir->file("ramp-pal8.mkv"), 1, "gray", 320 * 240);
  const auto cropped = DecodePicture(pal, 1, "gray", 328 * 232);
  ASSERT_FALSE(source.empty());
  ASSERT_FALSE(cropped.empty());
  for (int r : {0, 50, 150, 231}) EXPECT_NEAR(cropped[r * 328 + 108], source[(r + 8) * 320 + 100], 3) << "row " << r;

  // Bit-packed (one bit per pixel): 2 columns cropped at the left and 2 of
  // white padding put back, so every column past the band is the source's.
  ASSERT_TRUE(MakeMedia(Dir->file("mono.nut"),
                        "-f lavfi -i testsrc=size=64x48:rate=25:duration=0.2 -pix_fmt monob -c:v rawvideo"));
  const std::string mono = Dir->file("from-mono.nut");
  run = Convert(Dir->file("mono.nut"), mono,
                {{"vcodec", "rawvideo"}, {"pix_fmt", "monob"}, {"cropleft", "2"}, {"padleft", "2"},
                 {"padcolor", "16777215"}});
  ASSERT_FALSE(run.Exception) << run.Message;
  ASSERT_EQ(CountFrames(mono, "video"), 5);
  const auto before = DecodePicture(Dir->file("mono.nut"), 1, "gray", 64 * 48);
  const auto after = DecodePicture(mono, 1, "gray", 64 * 48);
  ASSERT_FALSE(before.empty());
  ASSERT_FALSE(after.empty());
  for (int y = 0; y < 48; ++y) {
    EXPECT_EQ(after[y * 64 + 0], 255) << "row " << y;
    EXPECT_EQ(after[y * 64 + 1], 255) << "row " << y;
    for (int x = 2; x < 64; ++x) ASSERT_EQ(after[y * 64 + x], before[y * 64 + x]) << x << "," << y;
  }
}

TEST_F(TranscodeGeometry, ThePadColourIsTheSameInEveryLayout) {
  // The band of planar YUV is the reference; packed, semi-planar, RGB and
  // deeper layouts show the same colour.
  const TOptionList pad = {{"padtop", "8"}, {"padleft", "6"}, {"padcolor", "3302600"}};  // RGB 200, 100, 50
  auto band = [&](const std::string& pixFmt) {
    const std::string out = Dir->file("pad-" + pixFmt + ".nut");
    TOptionList options = {{"vcodec", "rawvideo"}, {"pix_fmt", pixFmt}};
    options.insert(options.end(), pad.begin(), pad.end());
    const TConversion run = Convert(Dir->file("ramp.mkv"), out, options);
    EXPECT_FALSE(run.Exception) << pixFmt << ": " << run.Message;
    const auto rgb = DecodePicture(out, 1, "rgb24", 326 * 248 * 3);
    if (rgb.empty()) return std::vector<int>{};
    const size_t top = (2 * 326 + 160) * 3, left = (120 * 326 + 2) * 3;
    return std::vector<int>{rgb[top], rgb[top + 1], rgb[top + 2], rgb[left], rgb[left + 1], rgb[left + 2]};
  };
  const auto reference = band("yuv420p");
  ASSERT_EQ(reference.size(), 6u);
  EXPECT_NEAR(reference[0], 211, 4);  // the colour, as limited-range YUV shows it
  for (const char* layout : {"rgb24", "yuyv422", "nv12", "yuv420p10le"}) {
    const auto colour = band(layout);
    ASSERT_EQ(colour.size(), 6u) << layout;
    for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(colour[i], reference[i], 3) << layout << " component " << i;
  }
}

}  // namespace
}  // namespace fennick::test

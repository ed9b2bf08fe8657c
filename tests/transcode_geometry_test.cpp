// Crop, scale and pad of re-encoded video, checked on the decoded pixels of
// lossless (rawvideo) outputs of a vertical luma ramp (Y = row number).
#include <cstdlib>

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
  const auto yuv = DecodeFrameYuv(out, 2, w, h);
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
  const auto yuv = DecodeFrameYuv(out, 1, w, h);
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
  const auto yuv = DecodeFrameYuv(out, 0, 64, 32);
  ASSERT_FALSE(yuv.empty());
  for (int y = 2; y < 30; ++y) EXPECT_EQ(yuv[y * 64 + 10], 0) << "row " << y;
}

}  // namespace
}  // namespace fennick::test

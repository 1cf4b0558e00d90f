// Decoding the picture into one buffer and composing it over the background.
#include <png.h>

#include <cstring>

#include "controls/picture.h"
#include "fixture.h"

namespace quorvel::test {
namespace {

using PictureTest = CoreTest;

// A 3x2 picture with partly transparent pixels, in RGBA.
constexpr std::uint8_t kRgba[] = {
    200, 100, 50, 255, 200, 100, 50, 128, 255, 255, 255, 1,  //
    7,   8,   9,  0,   0,   0,   0,  254, 90,  60,  30,  64,
};

std::vector<std::uint8_t> EncodeFixture() {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = 3;
  image.height = 2;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, kRgba, 0, nullptr));
  std::vector<std::uint8_t> png(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, kRgba, 0, nullptr));
  png.resize(size);
  return png;
}

std::vector<std::uint8_t> Pixels(const platform::PixelBuffer& buffer) {
  return {buffer.pixels, buffer.pixels + std::size_t(buffer.width) * buffer.height * 4};
}

TEST_F(PictureTest, DecodesToStraightBgraInOneBuffer) {
  platform::PixelBuffer picture = controls::DecodePicture(EncodeFixture());
  ASSERT_NE(picture.pixels, nullptr);
  EXPECT_EQ(picture.width, 3);
  EXPECT_EQ(picture.height, 2);
  EXPECT_EQ(Pixels(picture),
            (std::vector<std::uint8_t>{50, 100, 200, 255, 50, 100, 200, 128, 255, 255, 255, 1,  //
                                       9,  8,   7,   0,   0,  0,   0,   254, 30,  60,  90,  64}));
  EXPECT_EQ(fake().livePixelBuffers, 1);
  platform::ReleasePixels(picture);
}

TEST_F(PictureTest, ComposesPartialAlphaOverTheBackgroundTruncating) {
  // Background red 10, green 200, blue 30; expected values worked out by hand with
  // a = alpha / 255 in single precision and truncation.
  platform::PixelBuffer picture = controls::PreparePicture(EncodeFixture(), Colour{10, 200, 30});
  ASSERT_NE(picture.pixels, nullptr);
  EXPECT_EQ(Pixels(picture), (std::vector<std::uint8_t>{
                                 50, 100, 200, 255,  // opaque: unchanged
                                 40, 149, 105, 255,  // half: 50/30, 100/200, 200/10
                                 30, 200, 10,  255,  // alpha 1: the background, rounded down
                                 30, 200, 10,  255,  // alpha 0: exactly the background
                                 0,  0,   0,   255,  // alpha 254 over black: 254/255 of 0
                                 30, 164, 30,  255,  // quarter: 30/30, 60/200, 90/10
                             }));
  platform::ReleasePixels(picture);
}

TEST_F(PictureTest, BadBytesGiveNoPictureAndHoldNoMemory) {
  const std::vector<std::uint8_t> good = EncodeFixture();
  std::vector<std::uint8_t> badSignature = good;
  badSignature[1] = 'Q';
  std::vector<std::uint8_t> damaged = good;
  damaged[damaged.size() / 2 + 8] ^= 0xFF;  // inside the image data: its checksum fails
  const std::vector<std::vector<std::uint8_t>> cases = {
      {},
      {good.begin(), good.begin() + 7},
      {good.begin(), good.begin() + 8},
      badSignature,
      {good.begin(), good.begin() + good.size() / 2},
      {good.begin(), good.end() - 16},  // the last checksum cut off
      damaged,
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    platform::PixelBuffer picture = controls::DecodePicture(cases[i]);
    EXPECT_EQ(picture.pixels, nullptr) << "case " << i;
    platform::ReleasePixels(picture);
    EXPECT_EQ(fake().livePixelBuffers, 0) << "case " << i;
  }

  fake().pixelsFail = true;
  EXPECT_EQ(controls::DecodePicture(good).pixels, nullptr);
}

TEST_F(PictureTest, ThePictureBoxDecodesOnceAtCreationAndKeepsOneBuffer) {
  fake().splash = EncodeFixture();
  OpenMainWindow();
  EXPECT_EQ(fake().livePixelBuffers, 1);
  const platform::PixelBuffer& held = fake().NodeOf(Native(kPicBox1)).picture;
  ASSERT_NE(held.pixels, nullptr);
  EXPECT_EQ(held.pixels[4 * 3 + 2], fake().buttonFace.red);  // alpha 0 shows the face colour
  for (int i = 0; i < 3; ++i) {
    controls::SetPicBoxVisible({MainWindow, kPicBox1}, i % 2);
  }
  EXPECT_TRUE(CallsStartingWith("AllocatePixels").empty());
  EXPECT_EQ(CallsStartingWith("ButtonFaceColour").size(), 0u);
  shell::RequestClose(Window());
  EXPECT_EQ(fake().livePixelBuffers, 0);
}

TEST_F(PictureTest, AnUndecodablePictureStillGivesAWorkingBox) {
  fake().splash = {1, 2, 3};
  OpenMainWindow();
  ASSERT_NE(Native(kPicBox1), nullptr);
  EXPECT_EQ(fake().NodeOf(Native(kPicBox1)).picture.pixels, nullptr);
  EXPECT_TRUE(fake().errorBoxes.empty());
}

}  // namespace
}  // namespace quorvel::test

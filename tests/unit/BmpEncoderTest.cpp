// The screen image, its read-back and the BMP encoder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "image/BmpEncoder.h"
#include "platform/PoolBuffer.h"
#include "tests/unit/TestSupport.h"

namespace {

class BmpEncoderTest : public FirmwareTest {
 protected:
  // An image of the given size whose pixels all differ.
  CaptureImage MakeImage(UINTN Width, UINTN Height) {
    Pixels.resize(Width * Height);
    for (size_t Index = 0; Index < Pixels.size(); Index++) {
      Pixels[Index] = {static_cast<UINT8>(Index * 7 + 1), static_cast<UINT8>(Index * 13 + 2),
                       static_cast<UINT8>(Index * 29 + 3), 0xEE};
    }
    return CaptureImage{Width, Height, 0, Pixels.data()};
  }
  std::vector<UINT8> Encode(const CaptureImage &Image) {
    UINT8 *Data = nullptr;
    UINTN Length = 0;
    EncodeBmp(&Image, &Data, &Length);
    PoolBuffer<UINT8> Owner(Data);
    return Data == nullptr ? std::vector<UINT8>{} : std::vector<UINT8>(Data, Data + Length);
  }
  std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL> Pixels;
};

// What the file holds must not depend on the row kernel the processor gets.
class BmpKernelTest : public BmpEncoderTest, public testing::WithParamInterface<BMP_ROW_KERNEL> {
 protected:
  void SetUp() override {
    Chosen = BmpRowKernelInUse();
    if (!SelectBmpRowKernel(GetParam())) GTEST_SKIP() << "this processor lacks the kernel";
    ASSERT_EQ(BmpRowKernelInUse(), GetParam());
  }
  void TearDown() override {
    SelectBmpRowKernel(Chosen);
    BmpEncoderTest::TearDown();
  }
  BMP_ROW_KERNEL Chosen = BmpRowKernelSse2;
};

INSTANTIATE_TEST_SUITE_P(Kernels, BmpKernelTest,
                         testing::Values(BmpRowKernelSse2, BmpRowKernelSsse3, BmpRowKernelPortable),
                         [](const testing::TestParamInfo<BMP_ROW_KERNEL> &Info) {
                           return Info.param == BmpRowKernelSsse3 ? "Ssse3"
                                  : Info.param == BmpRowKernelSse2 ? "Sse2"
                                                                   : "Portable";
                         });

TEST_F(BmpEncoderTest, RowsArePaddedToFourBytes) {
  struct Case {
    UINTN Width, Height, FileLength;
  };
  for (const Case &C : {Case{1, 1, 58}, Case{3, 2, 54 + 2 * 12}, Case{4, 2, 54 + 2 * 12}, Case{5, 1, 54 + 16},
                        Case{0, 0, 54}, Case{2, 0, 54}}) {
    SCOPED_TRACE(testing::Message() << C.Width << "x" << C.Height);
    const std::vector<UINT8> File = Encode(MakeImage(C.Width, C.Height));
    ASSERT_EQ(File.size(), C.FileLength);
    EXPECT_EQ(Le32(File, 2), C.FileLength);
    EXPECT_EQ(Le32(File, 18), C.Width);
    EXPECT_EQ(Le32(File, 22), C.Height);
    const size_t RowBytes = C.Height == 0 ? 0 : (C.FileLength - 54) / C.Height;
    for (size_t Row = 0; Row < C.Height; Row++)
      for (size_t Pad = C.Width * 3; Pad < RowBytes; Pad++) EXPECT_EQ(File[54 + Row * RowBytes + Pad], 0) << Pad;
  }
}

// Every width from 1 to 40 covers the kernels' 16-pixel steps, their tails
// and each padding; the pool hands out non-zero bytes, so padding that is not
// written shows.
TEST_P(BmpKernelTest, BottomRowComesFirstAndReservedIsDropped) {
  for (UINTN Height : {1u, 3u}) {
    for (UINTN Width = 1; Width <= 40; Width++) {
      SCOPED_TRACE(testing::Message() << Width << "x" << Height);
      const CaptureImage Image = MakeImage(Width, Height);
      Pixels[0] = {0x11, 0x22, 0x33, 0xFF};  // top-left
      const std::vector<UINT8> File = Encode(Image);
      const size_t RowBytes = BmpRowBytes(Width);
      ASSERT_EQ(File.size(), 54 + Height * RowBytes);
      const size_t LastRow = 54 + (Height - 1) * RowBytes;
      EXPECT_EQ(File[LastRow], 0x11);
      EXPECT_EQ(File[LastRow + 1], 0x22);
      EXPECT_EQ(File[LastRow + 2], 0x33);
      for (size_t Row = 0; Row < Height; Row++) {
        std::vector<UINT8> Expected;
        for (size_t X = 0; X < Width; X++) {
          const EFI_GRAPHICS_OUTPUT_BLT_PIXEL &P = Pixels[(Height - 1 - Row) * Width + X];
          Expected.insert(Expected.end(), {P.Blue, P.Green, P.Red});
        }
        Expected.resize(RowBytes, 0);
        const auto Start = File.begin() + static_cast<std::ptrdiff_t>(54 + Row * RowBytes);
        ASSERT_EQ(std::vector<UINT8>(Start, Start + static_cast<std::ptrdiff_t>(RowBytes)), Expected) << Row;
      }
    }
  }
}

TEST_F(BmpEncoderTest, HeaderOfTheScreenCapture) {
  const std::vector<UINT8> File = Encode(MakeImage(800, 600));
  const std::vector<UINT8> Expected = {0x42, 0x4D, 0x36, 0xF9, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x36, 0x00,
                                       0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x20, 0x03, 0x00, 0x00, 0x58, 0x02,
                                       0x00, 0x00, 0x01, 0x00, 0x18, 0x00, 0,    0,    0,    0,    0,    0,
                                       0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                                       0,    0,    0,    0,    0,    0};
  ASSERT_EQ(File.size(), 1440054u);
  EXPECT_EQ(std::vector<UINT8>(File.begin(), File.begin() + 54), Expected);
}

TEST_F(BmpEncoderTest, NoMemoryGivesNothingAndSaysHowMuch) {
  Fw.FailCall("AllocatePool", 1, EFI_OUT_OF_RESOURCES);
  const CaptureImage Image = MakeImage(800, 600);
  UINT8 *Data = reinterpret_cast<UINT8 *>(1);
  UINTN Length = 99;
  EncodeBmp(&Image, &Data, &Length);
  EXPECT_EQ(Data, nullptr);
  EXPECT_EQ(Length, 0u);
  EXPECT_EQ(Fw.ConsoleText, u"Error Allocate 1440054 Bytes\r\n");
}

TEST_F(BmpEncoderTest, ImageTooLargeForTheHeaderIsRefusedBeforeAllocating) {
  for (const auto &Size : {std::pair<UINTN, UINTN>{UINTN(1) << 62, 2}, {70000, 70000}, {1, UINTN(1) << 33}}) {
    CaptureImage Image{Size.first, Size.second, 0, Pixels.data()};
    UINT8 *Data = nullptr;
    UINTN Length = 0;
    EncodeBmp(&Image, &Data, &Length);
    EXPECT_EQ(Data, nullptr);
    EXPECT_EQ(Length, 0u);
  }
  EXPECT_TRUE(Fw.CallsOf("AllocatePool").empty());
}

// Pillow, not this code, says what the file shows; the kernels' bytes are
// held equal above.
TEST_F(BmpEncoderTest, IndependentDecoderSeesTheSamePixels) {
  for (const auto &Size : {std::pair<UINTN, UINTN>{7, 5}, {800, 600}}) {
    const CaptureImage Image = MakeImage(Size.first, Size.second);
    const std::vector<UINT8> File = Encode(Image);
    // One pair of files per process: CTest runs the kernels' cases side by side.
    const std::string Stem = testing::TempDir() + "vistrel_decode_" + std::to_string(getpid());
    const std::string Bmp = Stem + ".bmp";
    const std::string Rgb = Stem + ".rgb";
    std::ofstream(Bmp, std::ios::binary).write(reinterpret_cast<const char *>(File.data()), File.size());
    const std::string Command = "/usr/bin/python3 " VISTREL_TOOLS_DIR "/bmp_to_rgb.py " + Bmp + " " + Rgb;
    FILE *Pipe = popen(Command.c_str(), "r");
    ASSERT_NE(Pipe, nullptr);
    char Line[64] = {};
    const bool Read = std::fgets(Line, sizeof(Line), Pipe) != nullptr;
    ASSERT_EQ(pclose(Pipe), 0) << "Pillow could not decode the file";
    ASSERT_TRUE(Read);
    EXPECT_EQ(std::string(Line), std::to_string(Size.first) + " " + std::to_string(Size.second) + " RGB\n");
    std::ifstream In(Rgb, std::ios::binary);
    const std::vector<UINT8> Decoded((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    std::remove(Bmp.c_str());
    std::remove(Rgb.c_str());
    ASSERT_EQ(Decoded.size(), Pixels.size() * 3);
    for (size_t Index = 0; Index < Pixels.size(); Index++) {
      ASSERT_EQ(Decoded[Index * 3], Pixels[Index].Red) << Index;
      ASSERT_EQ(Decoded[Index * 3 + 1], Pixels[Index].Green) << Index;
      ASSERT_EQ(Decoded[Index * 3 + 2], Pixels[Index].Blue) << Index;
    }
  }
}

TEST_F(BmpEncoderTest, ImageIsBlackAt800By600AndGoesBackWhole) {
  CaptureImage *Image = CreateCaptureImage();
  ASSERT_NE(Image, nullptr);
  EXPECT_EQ(Image->Width, 800u);
  EXPECT_EQ(Image->Height, 600u);
  EXPECT_EQ(Image->Flag, 0);
  for (size_t Index = 0; Index < 800 * 600; Index++) {
    const EFI_GRAPHICS_OUTPUT_BLT_PIXEL &P = Image->Pixels[Index];
    ASSERT_EQ(P.Blue | P.Green | P.Red | P.Reserved, 0) << Index;
  }
  DestroyCaptureImage(Image);
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
}

TEST_F(BmpEncoderTest, ImageWithoutMemorySaysWhichSizeFailed) {
  Fw.FailCall("AllocatePool", 1, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(CreateCaptureImage(), nullptr);
  EXPECT_EQ(Fw.ConsoleText, u"Error Allocate 32 Bytes\r\n");
  Fw.ConsoleText.clear();
  Fw.FailCall("AllocatePool", 3, EFI_OUT_OF_RESOURCES);  // the pixels of the next image
  EXPECT_EQ(CreateCaptureImage(), nullptr);
  EXPECT_EQ(Fw.ConsoleText, u"Error Allocate 1920000 Bytes\r\n");
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
}

TEST_F(BmpEncoderTest, ReadBackTakesTheTopLeftCorner) {
  Fw.SetScreenSize(1280, 800);
  Fw.PaintScreen();
  CaptureImage *Image = CreateCaptureImage();
  ASSERT_EQ(CaptureScreen(Image, &Fw.Gop), EFI_SUCCESS);
  EXPECT_EQ(Fw.CallsOf("Blt"), std::vector<std::string>{"Blt(1,0,0,0,0,800x600,0)"});
  for (UINTN Y = 0; Y < 600; Y++)
    for (UINTN X = 0; X < 800; X++) {
      UINT32 Pixel;
      std::memcpy(&Pixel, &Image->Pixels[Y * 800 + X], 4);
      ASSERT_EQ(Pixel, Fw.Screen[Y * 1280 + X]) << X << "," << Y;
    }
  DestroyCaptureImage(Image);
}

TEST_F(BmpEncoderTest, ReadBackFailuresAreReported) {
  CaptureImage *Image = CreateCaptureImage();
  Fw.SetScreenSize(640, 480);  // smaller than the image
  EXPECT_EQ(CaptureScreen(Image, &Fw.Gop), EFI_INVALID_PARAMETER);
  EXPECT_EQ(CaptureScreen(Image, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(CaptureScreen(nullptr, &Fw.Gop), EFI_INVALID_PARAMETER);
  Fw.SetScreenSize(800, 600);
  Fw.FailCall("Blt", 2, EFI_DEVICE_ERROR);
  EXPECT_EQ(CaptureScreen(Image, &Fw.Gop), EFI_DEVICE_ERROR);
  DestroyCaptureImage(Image);
}

}  // namespace

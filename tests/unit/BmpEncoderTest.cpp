// The screen image, its read-back, and the BMP and PNG encoders.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>

#include "image/BmpEncoder.h"
#include "image/PngEncoder.h"
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

// The driver's PNG, whole: every width to 40 and a padded 641, a height that
// ends inside a band, and a noisy frame of several IDAT chunks; asked for
// again from its first piece after two pieces, as on the next volume when the
// first filled up, it comes out the same.
TEST_F(BmpEncoderTest, PngDecodesToTheImageAndRestartsTheSame) {
  std::vector<std::pair<UINTN, UINTN>> Sizes;
  for (UINTN Width = 1; Width <= 40; Width++) Sizes.push_back({Width, Width % 3 == 0 ? 1 : 3});
  Sizes.push_back({641, 70});   // 17 rows a band: the last band holds 2
  Sizes.push_back({400, 300});  // noise: more than one chunk
  for (const auto &Size : Sizes) {
    SCOPED_TRACE(testing::Message() << Size.first << "x" << Size.second);
    CaptureImage Image = MakeImage(Size.first, Size.second);
    if (Size.first == 400) {
      std::srand(7);
      for (auto &P : Pixels) P = {static_cast<UINT8>(std::rand()), static_cast<UINT8>(std::rand()),
                                  static_cast<UINT8>(std::rand()), 0};
    } else {
      for (size_t Row = 1; Row < Size.second; Row += 2)  // rows equal to the one above, beside rows that differ
        std::copy_n(&Pixels[(Row - 1) * Size.first], Size.first, &Pixels[Row * Size.first]);
    }
    const PNG_ORIGIN Origin = {nullptr, 0, 0, nullptr};
    PNG_ENCODER *Encoder = nullptr;
    ASSERT_EQ(CreatePngEncoder(&Image, &Origin, &Encoder), EFI_SUCCESS);
    std::vector<UINT8> Files[3];
    size_t Pieces = 0;
    for (size_t Pass = 0; Pass < 3; Pass++) {
      const UINT8 *Piece = nullptr;
      UINTN PieceSize = 0;
      EFI_STATUS Status = EFI_SUCCESS;
      for (UINTN Index = 0; (Pass != 1 || Index < 2) &&
                            (Status = GetPngPiece(Encoder, Index, &Piece, &PieceSize)) == EFI_SUCCESS;
           Index++) {
        Files[Pass].insert(Files[Pass].end(), Piece, Piece + PieceSize);
        Pieces = Index + 1;
      }
      EXPECT_TRUE(Pass == 1 || Status == EFI_END_OF_FILE) << Status;
    }
    DestroyPngEncoder(Encoder);
    EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
    EXPECT_EQ(Files[0], Files[2]);
    EXPECT_TRUE(Size.first != 400 || Pieces > 4) << "header, IDAT chunks, IEND: " << Pieces;
    ExpectPngOfPixels(Files[0], Size.first, Size.second, Pixels.data(), Size.first);
  }
  const CaptureImage Wide = {kPngLargestWidth + 1, 1, 0, Pixels.data()};
  PNG_ENCODER *Encoder = nullptr;
  const PNG_ORIGIN Origin = {nullptr, 0, 0, nullptr};
  EXPECT_EQ(CreatePngEncoder(&Wide, &Origin, &Encoder), EFI_UNSUPPORTED);
}

// The text says which firmware and when; the vendor is outside input, read
// only so far and only as printable Latin-1. The longest text there can be
// stays within its room, to the byte.
TEST_F(BmpEncoderTest, PngTextNamesTheFirmwareAndTheTime) {
  std::vector<CHAR16> Hostile(100, u'A');  // no NUL within the bound
  Hostile[0] = 0x01;
  Hostile[1] = 0x263A;
  Hostile[2] = 0xE9;
  const EFI_TIME Zoned = {2099, 12, 31, 23, 59, 9, 0, 0, -1440, EFI_TIME_ADJUST_DAYLIGHT, 0};
  EFI_TIME Unzoned = Zoned;
  Unzoned.TimeZone = EFI_UNSPECIFIED_TIMEZONE;
  EFI_TIME OutOfRange = Zoned;
  OutOfRange.TimeZone = 1441;
  const std::vector<CHAR16> Vendor = fake::Ucs2(u"EDK II");
  struct Case {
    PNG_ORIGIN Origin;
    std::string Source, Created;
    std::vector<UINT8> Utc;
  };
  const std::vector<Case> Cases = {
      {{Vendor.data(), 0x10000, (2 << 16) | 70, &Unzoned}, "EDK II, revision 0x00010000; UEFI 2.7",
       "2099-12-31T23:59:09", {}},
      {{Vendor.data(), 0xABCD1234, (2 << 16) | 31, &OutOfRange}, "EDK II, revision 0xABCD1234; UEFI 2.3.1",
       "2099-12-31T23:59:09", {}},
      {{Hostile.data(), 0xFFFFFFFF, 0xFFFFFFFF, &Zoned},
       "??\xE9" + std::string(61, 'A') + ", revision 0xFFFFFFFF; UEFI 65535.6553.5", "2099-12-31T23:59:09+24:00",
       {0x08, 0x33, 12, 30, 23, 59, 9}},
      {{nullptr, 0, 0, nullptr}, "Unnamed firmware, revision 0x00000000; UEFI 0.0", "", {}},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Source);
    UINT8 Chunks[kPngTextBytes + 16];
    std::memset(Chunks, 0xA5, sizeof(Chunks));
    const UINTN Length = WritePngTextChunks(&C.Origin, Chunks);
    ASSERT_LE(Length, kPngTextBytes);
    EXPECT_TRUE(std::all_of(Chunks + Length, std::end(Chunks), [](UINT8 B) { return B == 0xA5; }));
    std::vector<UINT8> File = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    File.insert(File.end(), Chunks, Chunks + Length);
    const PngChunks Read = ReadPngChunks(File);
    EXPECT_EQ(Read.Text.at("Software"), "Vistrel " VISTREL_VERSION);
    EXPECT_EQ(Read.Text.at("Source"), C.Source);
    EXPECT_EQ(Read.Text.count("Creation Time") ? Read.Text.at("Creation Time") : "", C.Created);
    EXPECT_EQ(Read.Time, C.Utc) << "tIME, in UTC, only with a time zone";
  }
}

// UEFI's TimeZone is minutes to add to local time for UTC, the opposite sign
// of ISO 8601's offset; daylight saving is already in it. Worked out by hand
// around the ends of a year and of February, both ways.
TEST_F(BmpEncoderTest, PngTimeZoneGivesTheOffsetAndUtc) {
  struct Case {
    EFI_TIME Local;
    std::string Created;
    std::vector<UINT8> Utc;
  };
  const std::vector<Case> Cases = {
      {{2099, 12, 31, 23, 59, 9, 0, 0, 480, 0, 0}, "2099-12-31T23:59:09-08:00", {0x08, 0x34, 1, 1, 7, 59, 9}},
      {{2025, 1, 1, 0, 30, 0, 0, 0, -60, 0, 0}, "2025-01-01T00:30:00+01:00", {0x07, 0xE8, 12, 31, 23, 30, 0}},
      {{2024, 3, 1, 4, 0, 0, 0, 0, -330, EFI_TIME_IN_DAYLIGHT | EFI_TIME_ADJUST_DAYLIGHT, 0},
       "2024-03-01T04:00:00+05:30", {0x07, 0xE8, 2, 29, 22, 30, 0}},
      {{2024, 2, 28, 16, 30, 5, 0, 0, 480, EFI_TIME_IN_DAYLIGHT, 0}, "2024-02-28T16:30:05-08:00",
       {0x07, 0xE8, 2, 29, 0, 30, 5}},
      {{2023, 2, 28, 20, 0, 0, 0, 0, 480, 0, 0}, "2023-02-28T20:00:00-08:00", {0x07, 0xE7, 3, 1, 4, 0, 0}},
      {{2023, 3, 1, 0, 15, 59, 0, 0, -60, 0, 0}, "2023-03-01T00:15:59+01:00", {0x07, 0xE7, 2, 28, 23, 15, 59}},
  };
  for (const Case &C : Cases) {
    SCOPED_TRACE(C.Created);
    const PNG_ORIGIN Origin = {nullptr, 0, 0, &C.Local};
    std::vector<UINT8> File = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    File.resize(8 + kPngTextBytes);
    File.resize(8 + WritePngTextChunks(&Origin, File.data() + 8));
    const PngChunks Read = ReadPngChunks(File);
    EXPECT_EQ(Read.Text.at("Creation Time"), C.Created);
    EXPECT_EQ(Read.Time, C.Utc);
  }
}

}  // namespace

// The platform layer: formatted text, strings, the shell's current directory
// and the application frame.
#include <climits>

#include "platform/ApplicationFrame.h"
#include "platform/Library.h"
#include "platform/Print.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "tests/unit/TestSupport.h"

namespace {

using PlatformTest = FirmwareTest;

TEST_F(PlatformTest, PrintUsesTheConsoleConventions) {
  const std::vector<CHAR16> Path = fake::Ucs2(u"\\A\\shot.bmp");
  Print(STR16("\nGenerate File at:%S"), Path.data());
  Print(STR16("[%d|%d|%02X|%02X|%x|%5d|%05d|%c|%%|%a|%s]\n"), 1440054, -42, 0x2D, 0x5, 0xABu, 7, -7, 'Z', "ascii",
        nullptr);
  EXPECT_EQ(Fw.ConsoleText,
            u"\r\nGenerate File at:\\A\\shot.bmp"
            u"[1440054|-42|2D|05|ab|    7|-0007|Z|%|ascii|<null string>]\r\n");
  for (const std::string &Call : Fw.CallsOf("OutputString")) EXPECT_LE(Call.size(), 140u);
}

TEST_F(PlatformTest, PrintPutsOutLongTextWhole) {
  std::u16string Long;
  for (int Index = 0; Index < 1000; Index++) Long += static_cast<char16_t>(u'a' + Index % 26);
  EXPECT_EQ(Print(STR16("%S\n"), fake::Ucs2(Long).data()), 1002u);
  EXPECT_EQ(Fw.ConsoleText, Long + u"\r\n");
  Fw.FailNext("OutputString", EFI_DEVICE_ERROR);  // the rest still goes out
  Fw.ConsoleText.clear();
  Print(STR16("%S"), fake::Ucs2(Long).data());
  EXPECT_EQ(Fw.ConsoleText, Long.substr(127));
}

TEST_F(PlatformTest, UnicodeSPrintCutsAtTheBuffer) {
  CHAR16 Buffer[50];
  EXPECT_EQ(UnicodeSPrint(Buffer, sizeof(Buffer), STR16("Vistrel_%02X%02X%02X_%02X.bmp"), 0x99u, 0x12u, 0x31u, 0x23u),
            21u);
  EXPECT_EQ(U16(Buffer), u"Vistrel_991231_23.bmp");
  const std::vector<CHAR16> Long = fake::Ucs2(std::u16string(80, u'x'));
  EXPECT_EQ(UnicodeSPrint(Buffer, sizeof(Buffer), STR16("%S"), Long.data()), 49u);
  EXPECT_EQ(U16(Buffer), std::u16string(49, u'x'));
  EXPECT_EQ(UnicodeSPrint(Buffer, 2, STR16("abc")), 0u);
  EXPECT_EQ(Buffer[0], 0);
}

// Untrusted UCS-2 as UTF-8, byte by byte: one, two and three bytes to a
// character at each length's edges, control characters as spaces, every
// surrogate (UCS-2 has none, and a lone one is no UTF-8) as U+FFFD, and
// markup escaped for HTML alone.
TEST_F(PlatformTest, TextBufferWritesUcs2AsUtf8) {
  const std::string Replacement = "\xEF\xBF\xBD";
  const struct {
    std::u16string Text;
    bool Html;
    std::string Utf8;
  } Cases[] = {
      {u"A~\x7F\t\n", false, "A~   "},
      {u"\u0080\u00E7\u07FF", false, "\xC2\x80\xC3\xA7\xDF\xBF"},
      {u"\u0800\u20AC\uFFFF", false, "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"},
      {std::u16string{0xD800, u'x', 0xDFFF}, false, Replacement + "x" + Replacement},
      {std::u16string{0xD83D, 0xDE00}, false, Replacement + Replacement},
      {u"<a href=\"x\">&'", true, "&lt;a href=&quot;x&quot;&gt;&amp;&#39;"},
      {u"<a href=\"x\">&'", false, "<a href=\"x\">&'"},
  };
  for (const auto &Case : Cases) {
    TextBuffer Buffer;
    Buffer.Text(fake::Ucs2(Case.Text).data(), Case.Html);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(Buffer.Data()), Buffer.Size()), Case.Utf8)
        << fake::Narrow(Case.Text);
    EXPECT_FALSE(Buffer.Failed());
  }
}

// A GUID as a person types it: 8-4-4-4-12 hexadecimal digits of either case,
// braces allowed around them, and nothing else; printed upper-case.
TEST_F(PlatformTest, GuidAsTextBothWays) {
  const EFI_GUID Guid = {0x8BE4DF61, 0x93CA, 0x11D2, {0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C}};
  const struct {
    const char *Text;
    bool Parsed;
  } Cases[] = {
      {"8BE4DF61-93CA-11D2-AA0D-00E098032B8C", true},
      {"8be4df61-93ca-11d2-aa0d-00e098032b8c", true},
      {"{8BE4DF61-93ca-11D2-AA0D-00E098032B8C}", true},
      {"", false},
      {"8BE4DF61-93CA-11D2-AA0D-00E098032B8", false},
      {"8BE4DF61-93CA-11D2-AA0D-00E098032B8C0", false},
      {"0x8BE4DF61-93CA-11D2-AA0D-00E098032B8C", false},
      {"{8BE4DF61-93CA-11D2-AA0D-00E098032B8C{", false},
      {"8BE4DF6193CA-11D2-AA0D-00E098032B8C-", false},
      {"8BE4DF61-93CA-11D2-AA0D-00E098032G8C", false},
  };
  for (const auto &Case : Cases) {
    EFI_GUID Parsed = {};
    EXPECT_EQ(ParseGuid(Case.Text, &Parsed) != FALSE, Case.Parsed) << Case.Text;
    EXPECT_TRUE(!Case.Parsed || SameGuid(Parsed, Guid)) << Case.Text;
  }
  CHAR16 Text[kGuidTextLength + 1];
  FormatGuid(Guid, Text);
  EXPECT_EQ(U16(Text), u"8BE4DF61-93CA-11D2-AA0D-00E098032B8C");
}

TEST_F(PlatformTest, StringSearchAndCompare) {
  const std::vector<CHAR16> Dir = fake::Ucs2(u"fs0:\\A\\B");
  EXPECT_EQ(StrStr(Dir.data(), STR16(":")), Dir.data() + 3);
  EXPECT_EQ(StrStr(Dir.data(), STR16("\\")), Dir.data() + 4);
  EXPECT_EQ(StrStr(Dir.data(), STR16("A\\B")), Dir.data() + 5);
  EXPECT_EQ(StrStr(Dir.data(), STR16("B\\")), nullptr);
  EXPECT_EQ(StrStr(Dir.data(), STR16("")), Dir.data());
  EXPECT_EQ(StrCmp(STR16(":\\"), STR16(":\\")), 0);
  EXPECT_LT(StrCmp(STR16(":"), STR16(":\\")), 0);
  EXPECT_GT(StrCmp(STR16(":\\A"), STR16(":\\")), 0);
  CHAR16 Small[6] = {'a', 'b', 0};
  EXPECT_TRUE(StrCatS(Small, 6, STR16("cde")));
  EXPECT_FALSE(StrCatS(Small, 6, STR16("f")));
  EXPECT_EQ(U16(Small), u"abcde");
}

TEST_F(PlatformTest, CurrentDirectoryFromEitherShell) {
  struct Case {
    fake::ShellKind Kind;
    const char *Expected;
  };
  for (const Case &C : {Case{fake::ShellKind::ShellProtocol, "FS0:\\EFI"},
                        Case{fake::ShellKind::Environment2OnImage, "FS0:\\EFI"},
                        Case{fake::ShellKind::Environment2OnOtherHandle, "FS0:\\EFI"},
                        Case{fake::ShellKind::None, nullptr}}) {
    fake::FakeFirmware Shell;
    Shell.Shell = C.Kind;
    Shell.CurrentDir = u"FS0:\\EFI";
    ShellLibConstructor(Shell.ImageHandle());
    const CHAR16 *Dir = ShellGetCurrentDir(nullptr);
    if (C.Expected == nullptr) {
      EXPECT_EQ(Dir, nullptr);
    } else {
      ASSERT_NE(Dir, nullptr);
      EXPECT_EQ(fake::Narrow(U16(Dir)), C.Expected);
    }
    ShellLibDestructor();
    EXPECT_EQ(Shell.LivePoolBlocks(), 0u) << "the older shell's string is the caller's to free";
    EXPECT_TRUE(Shell.Faults.empty());
  }
}

TEST_F(PlatformTest, OlderShellMustCarryItsVersionGuid) {
  Fw.Shell = fake::ShellKind::Environment2OnOtherHandle;
  Fw.Environment2.SESGuid.Data1 ^= 1;
  ShellLibConstructor(Fw.ImageHandle());
  EXPECT_EQ(ShellGetCurrentDir(nullptr), nullptr);
  Fw.Environment2.SESGuid.Data1 ^= 1;
  Fw.Environment2.MajorVersion = 0;
  ShellLibConstructor(Fw.ImageHandle());
  EXPECT_EQ(ShellGetCurrentDir(nullptr), nullptr);
  ShellLibDestructor();
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
}

TEST_F(PlatformTest, ExitCodesCarryTheStatus) {
  EXPECT_EQ(ExitCodeFromStatus(EFI_SUCCESS), 0);
  EXPECT_EQ(ExitCodeFromStatus(EFI_WARN_DELETE_FAILURE), 0);
  for (EFI_STATUS Status : {EFI_NOT_FOUND, EFI_WRITE_PROTECTED, EFI_OUT_OF_RESOURCES, EFI_VOLUME_FULL}) {
    const int Code = ExitCodeFromStatus(Status);
    EXPECT_GT(Code, 0);
    EXPECT_EQ(StatusFromExitCode(Code), Status);
  }
  EXPECT_EQ(StatusFromExitCode(ExitCodeFromStatus(0xC000000000000001ULL)), EFI_DEVICE_ERROR);  // OEM error
  EXPECT_EQ(StatusFromExitCode(-1), EFI_ABORTED);
}

std::vector<std::string> gSeenArguments;
int RecordArguments(int Argc, char **Argv) {
  gSeenArguments.clear();
  for (int Index = 0; Index < Argc; Index++) gSeenArguments.push_back(Argv[Index]);
  EXPECT_EQ(Argv[Argc], nullptr);
  return static_cast<int>(EFI_WRITE_PROTECTED & ~kEfiErrorBit);
}

TEST_F(PlatformTest, FramePassesTheArgumentsAsUtf8AndReturnsMainsStatus) {
  for (fake::ArgumentKind Kind : {fake::ArgumentKind::ShellParameters, fake::ArgumentKind::ShellInterface}) {
    fake::FakeFirmware Shell;
    Shell.Arguments = Kind;
    Shell.ArgumentList = {u"vistrel.efi", u"-x", u"\u00e9\u20ac"};
    EXPECT_EQ(RunShellApplication(Shell.ImageHandle(), Shell.SystemTable(), RecordArguments), EFI_WRITE_PROTECTED);
    EXPECT_EQ(gSeenArguments, (std::vector<std::string>{"vistrel.efi", "-x", "\xC3\xA9\xE2\x82\xAC"}));
    EXPECT_EQ(Shell.LivePoolBlocks(), 0u);
  }
}

TEST_F(PlatformTest, FrameRunsMainWithoutArgumentsWhenThereAreNone) {
  Fw.Arguments = fake::ArgumentKind::None;
  RunShellApplication(Fw.ImageHandle(), Fw.SystemTable(), RecordArguments);
  EXPECT_TRUE(gSeenArguments.empty());
  fake::FakeFirmware NoPool;
  NoPool.FailCall("AllocatePool", 1, EFI_OUT_OF_RESOURCES);
  RunShellApplication(NoPool.ImageHandle(), NoPool.SystemTable(), RecordArguments);
  EXPECT_TRUE(gSeenArguments.empty());
  EXPECT_EQ(gST, NoPool.SystemTable());
}

TEST_F(PlatformTest, FrameRefusesATableWithoutConsoleOrBootServices) {
  Fw.St.ConOut = nullptr;
  gSeenArguments = {"not run"};
  EXPECT_EQ(RunShellApplication(Fw.ImageHandle(), Fw.SystemTable(), RecordArguments), EFI_INVALID_PARAMETER);
  EXPECT_EQ(gSeenArguments, std::vector<std::string>{"not run"});
  EXPECT_EQ(RunShellApplication(Fw.ImageHandle(), nullptr, RecordArguments), EFI_INVALID_PARAMETER);
}

}  // namespace

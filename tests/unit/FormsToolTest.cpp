// The forms tool against the fake firmware's forms: the listing from package
// lists built here, the walk against a browser that reads keys as EDK II's.
#include <cstring>
#include <functional>
#include <set>

#include "forms/FormList.h"
#include "forms/FormNames.h"
#include "forms/FormQuestions.h"
#include "forms/FormsTool.h"
#include "forms/ScreenCompare.h"
#include "launcher/Launcher.h"
#include "platform/ApplicationFrame.h"
#include "platform/DriverFrame.h"
#include "tests/fake/FakeForms.h"
#include "tests/unit/TestSupport.h"

namespace {

using Bytes = std::vector<UINT8>;

Bytes operator+(Bytes A, const Bytes &B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}
Bytes Le(UINT32 Value, int Size) {
  Bytes Out;
  for (int Byte = 0; Byte < Size; Byte++) Out.push_back(static_cast<UINT8>(Value >> (8 * Byte)));
  return Out;
}
EFI_GUID Guid(UINT32 Data1) { return {Data1, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}}; }
Bytes GuidBytes(const EFI_GUID &G) { return Bytes(reinterpret_cast<const UINT8 *>(&G), reinterpret_cast<const UINT8 *>(&G) + 16); }

// IFR as EDK II's VFR compiler lays it out.
Bytes Op(UINT8 Code, bool Scope, const Bytes &Body) {
  return Bytes{Code, static_cast<UINT8>((Body.size() + 2) | (Scope ? 0x80 : 0))} + Body;
}
Bytes FormSet(UINT32 Id, UINT16 Title, UINT8 ClassGuids = 0) {
  Bytes Body = GuidBytes(Guid(Id)) + Le(Title, 2) + Le(0, 2) + Bytes{ClassGuids};
  for (UINT8 Class = 0; Class < ClassGuids; Class++) Body = Body + GuidBytes(Guid(0xC1A55));
  return Op(kIfrFormSetOp, true, Body);
}
Bytes Form(UINT16 Id, UINT16 Title) { return Op(kIfrFormOp, true, Le(Id, 2) + Le(Title, 2)); }
Bytes FormMap(UINT16 Id, UINT16 Title) { return Op(kIfrFormMapOp, true, Le(Id, 2) + Le(Title, 2) + GuidBytes(Guid(9))); }
Bytes Subtitle(UINT16 Title) { return Op(0x02, true, Le(Title, 2) + Le(0, 2) + Bytes{0}); }  // its own scope
const Bytes kEnd = Op(kIfrEndOp, false, {});
const Bytes kModal = Op(kIfrModalTagOp, false, {});
Bytes FrontPageSubclass() { return Op(kIfrGuidOp, false, GuidBytes(gEfiIfrTianoGuid) + Bytes{kIfrTianoExtendOpSubclass} + Le(2, 2)); }

// A package list: header, a forms package per IFR, the end package.
Bytes PackageList(UINT32 Id, const std::vector<Bytes> &Ifrs) {
  Bytes Packages;
  for (const Bytes &Ifr : Ifrs) Packages = Packages + Le(static_cast<UINT32>(Ifr.size() + 4), 3) + Bytes{kHiiPackageForms} + Ifr;
  Packages = Packages + Le(4, 3) + Bytes{kHiiPackageEnd};
  return GuidBytes(Guid(Id)) + Le(static_cast<UINT32>(Packages.size() + 20), 4) + Packages;
}

EFI_INPUT_KEY Key(UINT16 Scan, CHAR16 Character = 0) { return EFI_INPUT_KEY{Scan, Character}; }

std::string Text(const fake::FakeFile *File) { return File ? std::string(File->Data.begin(), File->Data.end()) : "<none>"; }

// A firmware with three package lists (the first registered twice):
//   "Main" 0x10: 1 "Simple", 2 "Long" (3 screens), 3 a modal form;
//   the front page, by its Tiano subclass: 4;
//   "Extras" 0x30, strings in German alone: 5 untitled (20 screens), 6 unknown to the browser.
void Arrange(fake::FakeForms &Forms) {
  const Bytes Main = PackageList(0xA, {FormSet(0x10, 1) + Form(1, 2) + kEnd + Form(2, 3) + Subtitle(9) + kEnd + kEnd +
                                       Form(3, 4) + kModal + kEnd + kEnd});
  Forms.Lists = {{Main, {{"en-US", {{1, u"Main"}, {2, u"Simple"}, {3, u"Long <&> \"page\""}, {4, u"Modal"}}},
                         {"fr-FR", {{2, u"Simple, en fran\u00e7ais"}}}}},
                 {Main, {}},
                 {PackageList(0xB, {FormSet(0x20, 1) + FrontPageSubclass() + Form(4, 1) + kEnd + kEnd}), {}},
                 {PackageList(0xC, {FormSet(0x30, 1, 2) + Form(5, 0) + kEnd + Form(6, 2) + kEnd + kEnd}),
                  {{"de-DE", {{1, u"Extras"}, {2, u"Weg"}}}}}};
  Forms.Forms = {{1, {}}, {2, {3}}, {3, {}}, {4, {}}, {5, {20}}};
}

// The tool's run as the shell starts it, and what every road must leave:
// the firmware's input back with the table's CRC right, nothing kept, the
// console as found, no key but ESC, Page Down and one N ever given. The
// browser's own faults count unless a failure was injected into it.
EFI_STATUS RunForms(fake::FakeFirmware &Fw, fake::FakeForms &Forms, std::vector<std::string> Arguments,
                    bool Injected = false) {
  const UINTN Attribute = Fw.Attribute;
  const bool Visible = Fw.CursorVisible;
  Arguments.insert(Arguments.begin(), "vistrel-forms.efi");
  std::vector<char *> Argv;
  for (std::string &Argument : Arguments) Argv.push_back(Argument.data());
  const int Exit = FormsToolMain(static_cast<int>(Argv.size()), Argv.data());
  EXPECT_TRUE(Forms.ConsoleInputIsTheKeyboard()) << "the firmware's input is not back, or the CRC is wrong";
  if (!Injected) {
    EXPECT_EQ(Forms.Faults, std::vector<std::string>{});
  }
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(Fw.OpenFileHandles(), 0u);
  EXPECT_EQ(Fw.LiveEvents(), 0u) << "an event of the tool's was left open";
  // cppcheck-suppress knownConditionTrueFalse ; the run changes them through the firmware's tables
  EXPECT_TRUE(Fw.Attribute == Attribute && Fw.CursorVisible == Visible) << "the console is not as it was found";
  for (const EFI_INPUT_KEY &Given : Forms.Delivered)
    EXPECT_TRUE(Given.ScanCode == SCAN_ESC || Given.ScanCode == SCAN_PAGE_DOWN || Given.UnicodeChar == 'N')
        << "a key the tool must never give: " << Given.ScanCode << "/" << Given.UnicodeChar;
  EXPECT_LE(std::count_if(Forms.Delivered.begin(), Forms.Delivered.end(),
                          [](const EFI_INPUT_KEY &K) { return K.UnicodeChar == 'N'; }),
            1);
  return StatusFromExitCode(Exit);
}

const std::string kFolder = "\\VISTREL_FORMS_240115_103045\\";

// The keys the tool gave the browser: D for Page Down, E for ESC, and N.
std::string KeysGiven(const fake::FakeForms &Forms) {
  std::string Keys;
  for (const EFI_INPUT_KEY &Given : Forms.Delivered)
    Keys += Given.ScanCode == SCAN_PAGE_DOWN ? 'D' : Given.ScanCode == SCAN_ESC ? 'E' : Given.UnicodeChar == 'N' ? 'N' : '?';
  return Keys;
}

// The PNGs in the walk's folder, each decoded whole (a file cut short is
// never left) and equal to a screen the browser drew.
std::vector<std::string> ExpectScreens(const fake::FakeFirmware &Fw, const fake::FakeForms &Forms) {
  std::vector<std::string> Names;
  for (const std::string &Path : Fw.FileNames()) {
    if (Path.size() < 4 || Path.compare(Path.size() - 4, 4, ".PNG") != 0) continue;
    Names.push_back(Path.substr(kFolder.size()));
    const std::vector<UINT8> &File = Fw.FindFile(Path)->Data;
    png_image Image = {};
    Image.version = PNG_IMAGE_VERSION;
    Image.format = PNG_FORMAT_BGRA;
    std::vector<UINT32> Pixels(Fw.Screen.size());
    EXPECT_TRUE(png_image_begin_read_from_memory(&Image, File.data(), File.size()) && Image.width == Fw.ScreenWidth &&
                Image.height == Fw.ScreenHeight &&
                (Image.format = PNG_FORMAT_BGRA, png_image_finish_read(&Image, nullptr, Pixels.data(), 0, nullptr)))
        << Path;
    for (UINT32 &Pixel : Pixels) Pixel &= 0xFFFFFF;
    EXPECT_TRUE(std::any_of(Forms.Screens.begin(), Forms.Screens.end(),
                            [&](const fake::FakeForms::Drawn &Drawn) { return Drawn.Screen == Pixels; }))
        << Path << " is no screen the browser drew";
  }
  return Names;
}

class FormsToolTest : public FirmwareTest {
 protected:
  void SetUp() override { Arrange(Forms); }
  EFI_STATUS Run(std::vector<std::string> Arguments = {}) { return RunForms(Fw, Forms, std::move(Arguments)); }

  std::string Console() const { return fake::Narrow(Fw.ConsoleText); }

  fake::FakeForms Forms{Fw};
};

TEST_F(FormsToolTest, ListingFollowsScopesDropsDuplicatesAndTitlesInThePlatformsLanguage) {
  FormList List;
  auto *Database = &Forms.Database;
  ASSERT_EQ(ListForms(Database, &Forms.Strings, &List), EFI_SUCCESS);
  ASSERT_EQ(List.Sets.Count(), 3u);
  EXPECT_EQ(List.Duplicates, 1u);
  EXPECT_EQ(List.Malformed.Count(), 0u);
  const std::vector<std::u16string> Titles = {u"Simple, en fran\u00e7ais", u"Long <&> \"page\"", u"Modal", u"", u"", u"Weg"};
  ASSERT_EQ(List.Forms.Count(), Titles.size());
  for (UINTN Index = 0; Index < Titles.size(); Index++) EXPECT_EQ(U16(List.Forms[Index].Title), Titles[Index]) << Index;
  EXPECT_TRUE(List.Forms[2].Modal && !List.Forms[1].Modal);
  EXPECT_TRUE(List.Sets[1].FrontPage && !List.Sets[0].FrontPage);
  EXPECT_EQ(U16(List.Sets[2].Title), u"Extras") << "any language the strings have";
  EXPECT_EQ(List.Sets[2].FirstForm, 4u);

  // A form map is a form; a front page known by its GUID is skipped too.
  FormList More;
  const Bytes Front = PackageList(0xD, {Op(kIfrFormSetOp, true, GuidBytes(gFrontPageFormSetGuid) + Bytes(5, 0)) +
                                        FormMap(7, 1) + kEnd + kEnd});
  ASSERT_EQ(AddPackageList(&More, nullptr, Front.data(), Front.size()), EFI_SUCCESS);
  ASSERT_EQ(More.Forms.Count(), 1u);
  EXPECT_TRUE(More.Forms[0].FormId == 7 && More.Forms[0].TitleId == 1 && More.Sets[0].FrontPage);
}

// Every way a package can lie about its lengths or scopes: it adds nothing,
// its list is reported, and the good package after it still counts.
TEST_F(FormsToolTest, MalformedPackagesAreSkippedWholeAndReported) {
  const Bytes Good = FormSet(0x10, 1) + Form(1, 2) + Subtitle(3) + kEnd + kEnd + kEnd;
  const Bytes SetBody = GuidBytes(Guid(0x11)) + Le(1, 2) + Le(0, 2);
  const std::vector<Bytes> Broken = {
      Bytes{kIfrFormSetOp, 1},                                        // shorter than its header
      Bytes{kIfrFormOp, 0x86, 1, 0},                                  // longer than the package
      Op(kIfrFormSetOp, true, Bytes(20, 0)) + kEnd,                   // too short for a form set
      Op(kIfrFormSetOp, true, SetBody + Bytes{3} + Bytes(16, 0)) + kEnd,  // fewer class GUIDs than it says
      Op(kIfrFormSetOp, false, SetBody + Bytes{0}),                   // a form set without a scope
      Form(1, 2) + kEnd,                                              // a form outside a form set
      kEnd,                                                           // an END with nothing open
      FormSet(0x11, 1) + FormSet(0x12, 1) + kEnd + kEnd,              // form sets nested
      FormSet(0x11, 1) + Form(1, 1) + Form(2, 1) + kEnd + kEnd + kEnd,  // forms nested
      Op(kIfrFormSetOp, true, SetBody + Bytes{0}) + Op(kIfrFormOp, true, Le(1, 2)) + kEnd + kEnd,  // a short form
  };
  for (size_t Index = 0; Index < Broken.size(); Index++) {
    FormList List;
    const Bytes Data = PackageList(0xE, {Broken[Index], Good});
    ASSERT_EQ(AddPackageList(&List, nullptr, Data.data(), Data.size()), EFI_SUCCESS) << Index;
    EXPECT_TRUE(List.Sets.Count() == 1 && List.Forms.Count() == 1 && List.Forms[0].Set == 0) << Index;
    ASSERT_EQ(List.Malformed.Count(), 1u) << Index;
    EXPECT_EQ(std::memcmp(&List.Malformed[0], &Data[0], 16), 0) << Index;
  }
  // A package cut anywhere is never followed past its end, nor half added.
  for (size_t Cut = 1; Cut < Good.size(); Cut++) {
    FormList List;
    const Bytes Data = PackageList(0xE, {Bytes(Good.begin(), Good.begin() + static_cast<long>(Cut))});
    ASSERT_EQ(AddPackageList(&List, nullptr, Data.data(), Data.size()), EFI_SUCCESS);
    EXPECT_TRUE(List.Sets.Count() == 0 && List.Forms.Count() == 0 && List.Malformed.Count() == 1) << Cut;
  }
  // A list whose own lengths lie adds nothing at all.
  const Bytes Whole = PackageList(0xE, {Good, Good});
  Bytes Longer = Whole, PackageTooLong = Whole, PackageTooShort = Whole;
  Longer[16] = static_cast<UINT8>(Whole.size() + 1);
  PackageTooLong[20] = 0xFF;
  PackageTooShort[20] = 3;
  for (const Bytes &Data : {Bytes(Whole.begin(), Whole.begin() + 19), Longer, PackageTooLong, PackageTooShort}) {
    FormList List;
    ASSERT_EQ(AddPackageList(&List, nullptr, Data.data(), Data.size()), EFI_SUCCESS);
    EXPECT_TRUE(List.Sets.Count() == 0 && List.Malformed.Count() == 1);
  }
}

// The whole walk on one firmware: which forms are shown, skipped or failed,
// each screen's PNG against the screen the browser drew, the keys given, the
// names, and both indexes.
TEST_F(FormsToolTest, WalkSavesEveryScreenOnceWithOnlyEscAndPageDown) {
  Fw.VolumeCount = 2;
  Forms.Fw.LoadedImage.DeviceHandle = &Fw.Volumes[1].HandleTag;  // the tool's volume, not the first
  EXPECT_EQ(Run(), EFI_NOT_FOUND) << "form 6 is unknown to the browser";
  EXPECT_TRUE(Fw.FileNames(0).empty());
  std::swap(Fw.Volumes[0].Files, Fw.Volumes[1].Files);
  const std::vector<std::string> Shown = {"001_SIMPLE_EN_FRAN_AIS.PNG", "002_LONG_PAGE.PNG", "002_LONG_PAGE_2.PNG",
                                          "002_LONG_PAGE_3.PNG"};
  std::vector<std::string> Expected = Shown;
  for (int Screen = 1; Screen <= 16; Screen++)
    Expected.push_back("005_FORM_5" + (Screen == 1 ? std::string() : "_" + std::to_string(Screen)) + ".PNG");
  const std::vector<std::string> Saved = ExpectScreens(Fw, Forms);
  std::sort(Expected.begin(), Expected.end());
  EXPECT_EQ(Saved, Expected);
  // Each file is the first drawing of its page; Page Down past the last page
  // moved the highlight alone, and that screen was dropped.
  auto FirstDrawing = [&](EFI_FORM_ID Form, unsigned Page) {
    for (const auto &Drawn : Forms.Screens)
      if (Drawn.Form == Form && Drawn.Page == Page) return Drawn.Screen;
    return std::vector<UINT32>();
  };
  for (unsigned Page = 0; Page < 3; Page++)
    ExpectPngOfPixels(Fw.FindFile(kFolder + Shown[1 + Page])->Data, 800, 600,
                      reinterpret_cast<const EFI_GRAPHICS_OUTPUT_BLT_PIXEL *>(FirstDrawing(2, Page).data()), 800);
  EXPECT_EQ(Forms.SendForms, 4u) << "the modal form and the front page are never shown";
  EXPECT_EQ(KeysGiven(Forms), "DE" "DDDE" + std::string(16, 'D') + "E") << "forms 1, 2 and 5, the last cut";
  EXPECT_EQ(Fw.CallsOf("SetWatchdogTimer").front(), "SetWatchdogTimer(0)");

  const std::string Index = Text(Fw.FindFile(kFolder + "INDEX.TXT"));
  for (const char *Line : {"001 Main > Simple, en fran\xc3\xa7" "ais [00000010-1234-5678-0102-030405060708 form 1]: "
                           "001_Simple_en_fran_ais.png\r\n",
                           "002 Main > Long <&> \"page\" [00000010-1234-5678-0102-030405060708 form 2]: 002_Long_page.png, "
                           "002_Long_page_2.png, 002_Long_page_3.png\r\n",
                           "003 Main > Modal [", "]: (skipped: a modal form, which ESC cannot leave)\r\n",
                           "004  >  [00000020-1234-5678-0102-030405060708 form 4]: (skipped: the front page's",
                           "005_form_5_16.png (cut at 16 screens)\r\n", "006 Extras > Weg [",
                           "]: (failed: EFI_NOT_FOUND)\r\n", "6 forms: 20 screens, 2 skipped, 1 failed\r\n"})
    EXPECT_NE(Index.find(Line), std::string::npos) << Line << "\n" << Index;
  const std::string Html = Text(Fw.FindFile(kFolder + "INDEX.HTML"));
  EXPECT_NE(Html.find("<meta charset=\"utf-8\">"), std::string::npos);
  EXPECT_EQ(Html.find("<script"), std::string::npos);
  EXPECT_NE(Html.find("002 Main &gt; Long &lt;&amp;&gt; &quot;page&quot;</h2>"), std::string::npos) << Html;
  std::vector<std::string> Linked;
  const std::string Image = "<img src=\"";
  for (size_t At = Html.find(Image); At != std::string::npos; At = Html.find(Image, At + 1))
    Linked.push_back(Html.substr(At + Image.size(), Html.find('"', At + Image.size()) - At - Image.size()));
  EXPECT_EQ(Linked.size(), Saved.size());
  for (const std::string &Name : Linked) EXPECT_NE(Fw.FindFile(kFolder + Name), nullptr) << Name;
  size_t Sections = 0;
  for (size_t At = 0; (At = Html.find("<section class=\"form\">", At)) != std::string::npos; At++) Sections++;
  EXPECT_EQ(Sections, 6u);
  EXPECT_NE(Console().find("6 forms: 20 screens, 2 skipped, 1 failed (0:00). In \\Vistrel_forms_240115_103045"),
            std::string::npos)
      << Console();
}

// From the stick: F at the launcher starts the real tool as the firmware
// starts a boot option's image, with no shell and no arguments. It walks
// every set into a folder at the stick's root, and its summary says where to
// open the contact sheet before the launcher waits to hand the menu back.
// Started at 23:59:30 and done at 00:01:15 the next day, the walk took 1:45.
TEST_F(FormsToolTest, FromTheSticksLauncherWithoutAShellAcrossMidnight) {
  Fw.Time = {2024, 1, 15, 23, 59, 30, 0, 0, 0, 0, 0};
  Fw.OnCall = [this](const std::string &Call) {
    if (Call == "SendForm(2)") Fw.Time = {2024, 1, 16, 0, 1, 15, 0, 0, 0, 0, 0};
  };
  Fw.VolumeCount = 2;
  Fw.LoadedImage.DeviceHandle = &Fw.Volumes[1].HandleTag;  // the launcher's: the stick
  Fw.AddDirectory("\\vistrel", 1);
  Fw.AddDirectory("\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER, 1);
  Fw.AddFile("\\vistrel\\" VISTREL_ARCHITECTURE_FOLDER "\\vistrel-forms.efi", {0x4D, 0x5A}, 1);
  Fw.Shell = fake::ShellKind::None;
  Fw.Arguments = fake::ArgumentKind::None;
  Fw.ImageEntry = [this](EFI_HANDLE Image) {
    const EFI_HANDLE Launcher = gImageHandle;
    const EFI_STATUS Status = RunShellApplication(Image, Fw.SystemTable(), FormsToolMain);
    gImageHandle = Launcher;
    return Status;
  };
  Fw.OnIdleKeyboard = [this] { Fw.TypedKeys.push_back(Key(0, 'f')); };
  EXPECT_EQ(RunBootApplication(Fw.ImageHandle(), Fw.SystemTable(), LauncherMain), EFI_SUCCESS);

  EXPECT_TRUE(Fw.FileNames(0).empty());
  EXPECT_NE(Fw.FindFile("\\VISTREL_FORMS_240115_235930\\INDEX.HTML", 1), nullptr);
  EXPECT_EQ(Forms.SendForms, 4u);
  EXPECT_EQ(Forms.Faults, std::vector<std::string>{});
  EXPECT_TRUE(Forms.ConsoleInputIsTheKeyboard());
  EXPECT_EQ(Fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(Fw.OpenFileHandles(), 0u);
  EXPECT_EQ(Fw.LiveEvents(), 0u);
  EXPECT_NE(Console().find("6 forms: 20 screens, 2 skipped, 1 failed (1:45). In \\Vistrel_forms_240115_235930: "
                           "index.html, index.txt, settings.txt, settings.json\r\nSettings: 0 questions, 0 values "
                           "not read, 0 conditions not evaluated.\r\nOpen \\Vistrel_forms_240115_235930\\index.html on another "
                           "computer.\r\n\r\nPress any key, or wait 10 seconds, to go back to the firmware's menus."),
            std::string::npos)
      << Console();
}

// Every road that ends a walk early: it stops there, says why in the index
// and on the console, keeps what it saved, and the firmware's input is back
// (Run checks that on each).
struct Stop {
  const char *What;
  void (*Arrange)(fake::FakeFirmware &Fw, fake::FakeForms &Forms);
  std::vector<std::string> Arguments;
  EFI_STATUS Status;
  unsigned SendForms;
  const char *Keys;  // as KeysGiven writes them
  const char *Said;
  const char *Console = nullptr;  // the closing line and what follows it, where it says more
};
class WalkStopTest : public FormsToolTest, public ::testing::WithParamInterface<Stop> {};

const Stop kStops[] = {
    {"a form with changes", [](fake::FakeFirmware &, fake::FakeForms &Forms) { Forms.Forms[1].AsksToSave = true; },
     {}, EFI_ABORTED, 1, "DEEEN", "it asked whether to save changes; answered N (discard); the walk stopped"},
    {"a form that ignores ESC and N",
     [](fake::FakeFirmware &Fw, fake::FakeForms &Forms) {
       Forms.Forms[1].Stubborn = true;
       Fw.OnIdleKeyboard = [&Fw] { Fw.TypedKeys.push_back(Key(0, 'q')); };
     },
     {}, EFI_ABORTED, 1, "DEEEN", "ESC and N did not end it; the keyboard was given back"},
    {"an action request", [](fake::FakeFirmware &, fake::FakeForms &Forms) { Forms.Forms[2].Action = 2; }, {},
     EFI_ABORTED, 2, "DEDDDE", "it asked for browser action 2, not taken"},
    {"ESC typed during a form", [](fake::FakeFirmware &Fw, fake::FakeForms &) { Fw.TypedKeys = {Key(0, 'x'), Key(SCAN_ESC)}; },
     {}, EFI_ABORTED, 1, "DE", "the walk stopped: ESC was pressed"},
    {"-step, ESC at the second screen held",
     [](fake::FakeFirmware &Fw, fake::FakeForms &Forms) {
       Fw.OnIdleKeyboard = [&] { Fw.TypedKeys.push_back(Forms.Screens.size() < 3 ? Key(0, 'x') : Key(SCAN_ESC)); };
     },
     {"-step"}, EFI_ABORTED, 2, "DEE", "the walk stopped: ESC was pressed"},
    {"a browser that refuses SendForm, as one busy with its own setup",
     [](fake::FakeFirmware &, fake::FakeForms &Forms) { Forms.Refusal = EFI_UNSUPPORTED; }, {}, EFI_UNSUPPORTED, 1, "",
     "(the browser refused to show it: EFI_UNSUPPORTED; the walk stopped)",
     "1 forms: 0 screens, 0 skipped, 1 failed; the walk stopped: the form browser refused to show a form (0:00). "
     "In \\Vistrel_forms_240115_103045: index.html, index.txt, settings.txt, settings.json\r\nSettings: 0 "
     "questions, 0 values not read, 0 conditions not evaluated.\r\nThis firmware does not show its pages to another "
     "program from here: start the stick\r\nfrom the PC's one-time boot menu instead."},
    {"a browser that reads only the real keyboard, left by a person's ESC",
     [](fake::FakeFirmware &Fw, fake::FakeForms &Forms) {
       Forms.ReadsKeyboardOnly = true;
       Fw.OnIdleKeyboard = [&Fw] {
         if (fake::Narrow(Fw.RowText(fake::FakeFirmware::kRows - 1)).find("press ESC to leave it") != std::string::npos)
           Fw.TypedKeys.push_back(Key(SCAN_ESC));
       };
     },
     {}, EFI_ABORTED, 1, "", "001_Simple_en_fran_ais.png (the browser read only the keyboard: saved after 5 s and left by a person",
     "1 forms: 1 screens, 0 skipped, 0 failed; the walk stopped: the form browser reads only the keyboard (0:00). "
     "In \\Vistrel_forms_240115_103045: index.html, index.txt, settings.txt, settings.json\r\nSettings: 0 "
     "questions, 0 values not read, 0 conditions not evaluated.\r\nThis firmware turns its pages only from the "
     "keyboard: press Ctrl+Alt+F12 on each page\r\ninstead (the stick's hotkey)."},
    {"a volume full from the second form on",
     [](fake::FakeFirmware &Fw, fake::FakeForms &) {
       Fw.OnCall = [&Fw](const std::string &Call) { Fw.FreeBytes = Call == "SendForm(2)" ? 2000 : Fw.FreeBytes; };
     },
     {}, EFI_VOLUME_FULL, 2, "DEE", "002 Main > Long <&> \"page\" [00000010-1234-5678-0102-030405060708 form 2]: (failed: EFI_VOLUME_FULL)"},
};

TEST_P(WalkStopTest, StopsThereAndSaysWhy) {
  const Stop &Road = GetParam();
  Road.Arrange(Fw, Forms);
  EXPECT_EQ(Run(Road.Arguments), Road.Status);
  EXPECT_EQ(Forms.SendForms, Road.SendForms);
  const std::string Index = Text(Fw.FindFile(kFolder + "INDEX.TXT"));
  EXPECT_NE(Index.find(Road.Said), std::string::npos) << Index;
  EXPECT_NE(Index.find(std::to_string(Road.SendForms) + " forms: "), std::string::npos) << Index;
  ExpectScreens(Fw, Forms);
  if (Road.Console != nullptr) {
    EXPECT_NE(Console().find(Road.Console), std::string::npos) << Console();
  }
  EXPECT_EQ(KeysGiven(Forms), Road.Keys);
}

void PrintTo(const Stop &Road, std::ostream *Out) { *Out << Road.What; }
INSTANTIATE_TEST_SUITE_P(Roads, WalkStopTest, ::testing::ValuesIn(kStops));

// What the options choose, and the firmware a walk cannot run on: one line,
// no folder, nothing shown. Each run on a firmware of its own, its console
// judged alone.
struct Choice {
  const char *What;
  std::vector<std::string> Arguments;
  void (*Arrange)(fake::FakeFirmware &Fw, fake::FakeForms &Forms);
  EFI_STATUS Status;
  unsigned SendForms;  // a walk, and its folder; none otherwise
  std::vector<const char *> Said;  // in the run's console; a failed run's one line is all of it
};
class OptionsTest : public FormsToolTest, public ::testing::WithParamInterface<Choice> {};

const char kUsage[] = "usage: vistrel-forms.efi [-list | -step | -text] [-set N|GUID] [-strings]\r\n";

const Choice kChoices[] = {
    {"-LIST", {"-LIST"}, nullptr, EFI_SUCCESS, 0,
     {"Form sets: 3, forms: 6; registered twice and dropped: 1; malformed packages skipped: 0\r\nSet 1: Main "
      "00000010-1234-5678-0102-030405060708\r\n  001 form 1: Simple, en fran?ais\r\n",
      "  003 form 3: Modal (modal: skipped)",
      "Set 2: (no title) 00000020-1234-5678-0102-030405060708 (the front page: skipped)"}},
    {"-set GUID in braces -list", {"-set", "{00000030-1234-5678-0102-030405060708}", "-list"}, nullptr, EFI_SUCCESS, 0,
     {"Form sets: 1, forms: 2;", "Set 3: Extras 00000030-"}},
    {"-set 1 -step, a person pressing a key at each screen", {"-set", "1", "-step"},
     [](fake::FakeFirmware &Fw, fake::FakeForms &) { Fw.OnIdleKeyboard = [&Fw] { Fw.TypedKeys.push_back(Key(0, 'x')); }; },
     EFI_SUCCESS, 2, {"3 forms: 4 screens, 1 skipped, 0 failed"}},
    {"-set without a value", {"-set"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-set 0", {"-set", "0"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-set twice", {"-set", "1", "-set", "1"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-list twice", {"-list", "-list"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-set GUID a digit short", {"-set", "12345678-1234-5678-0102-03040506070"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-set beyond 64 bits", {"-set", "99999999999999999999999"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"an unknown option", {"-walk"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-text with -step", {"-text", "-step"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-list with -text", {"-list", "-TEXT"}, nullptr, EFI_INVALID_PARAMETER, 0, {kUsage}},
    {"-text without a form browser or Graphics Output", {"-text"},
     [](fake::FakeFirmware &Fw, fake::FakeForms &Forms) { Forms.HasBrowser = false, Fw.HasGraphicsOutput = false; },
     EFI_SUCCESS, 0, {"6 forms: 0 screens, 2 skipped, 0 failed (0:00). In \\Vistrel_forms_240115_103045: index.html, "
                      "index.txt, settings.txt, settings.json\r\nSettings: 0 questions"}},
    {"-set past the last set", {"-set", "4"}, nullptr, EFI_NOT_FOUND, 0,
     {"vistrel-forms: -set names no form set (see -list) (EFI_NOT_FOUND)\r\n"}},
    {"a read-only volume", {}, [](fake::FakeFirmware &Fw, fake::FakeForms &) { Fw.ReadOnlyVolume = true; },
     EFI_WRITE_PROTECTED, 0,
     {"vistrel-forms: cannot make the folder for the forms at the root of the tool's volume (EFI_WRITE_PROTECTED)\r\n"}},
    {"a mode without a size", {}, [](fake::FakeFirmware &Fw, fake::FakeForms &) { Fw.GopInfo.HorizontalResolution = 0; },
     EFI_UNSUPPORTED, 0, {"vistrel-forms: cannot read this screen mode back (EFI_UNSUPPORTED)\r\n"}},
    {"no Graphics Output", {}, [](fake::FakeFirmware &Fw, fake::FakeForms &) { Fw.HasGraphicsOutput = false; },
     EFI_UNSUPPORTED, 0, {"vistrel-forms: no Graphics Output: the screens cannot be read (EFI_UNSUPPORTED)\r\n"}},
    {"no form browser", {}, [](fake::FakeFirmware &, fake::FakeForms &Forms) { Forms.HasBrowser = false; },
     EFI_UNSUPPORTED, 0, {"vistrel-forms: this firmware has no form browser (EFI_UNSUPPORTED)\r\n"}},
    {"no HII database, -list", {"-list"}, [](fake::FakeFirmware &, fake::FakeForms &Forms) { Forms.HasDatabase = false; },
     EFI_UNSUPPORTED, 0, {"vistrel-forms: this firmware has no HII database, so no forms (EFI_UNSUPPORTED)\r\n"}},
};

TEST_P(OptionsTest, ChooseSetsOrStopBeforeAnythingIsMade) {
  const Choice &Case = GetParam();
  if (Case.Arrange != nullptr) Case.Arrange(Fw, Forms);
  const size_t Entries = Fw.Volume.size();
  EXPECT_EQ(Run(Case.Arguments), Case.Status);
  EXPECT_EQ(Forms.SendForms, Case.SendForms);
  const bool ReadAsText = std::find(Case.Arguments.begin(), Case.Arguments.end(), "-text") != Case.Arguments.end();
  EXPECT_EQ(Fw.Volume.size() != Entries, Case.SendForms != 0 || (ReadAsText && !EFI_ERROR(Case.Status)))
      << "a folder is made for a walk or -text alone";
  const std::string Said = Console();
  if (EFI_ERROR(Case.Status)) {
    EXPECT_EQ(Said, Case.Said.at(0));
  }
  for (const char *Line : Case.Said) EXPECT_NE(Said.find(Line), std::string::npos) << Line << " in:\n" << Said;
}

void PrintTo(const Choice &Case, std::ostream *Out) { *Out << Case.What; }
INSTANTIATE_TEST_SUITE_P(Options, OptionsTest, ::testing::ValuesIn(kChoices));

// A form's file stem from an untrusted title: ASCII letters and digits, one
// '_' for each run of anything else, none at either end, at most 40 from the
// title, and the form's id when nothing is left.
TEST(FormNames, StemsFromUntrustedTitles) {
  const std::u16string Forty(40, u'a');
  const struct {
    UINTN Position;
    std::u16string Title;
    EFI_FORM_ID FormId;
    std::u16string Stem;
  } Cases[] = {
      {7, u"Secure Boot Configuration", 1, u"007_Secure_Boot_Configuration"},
      {1, u"  --Boot\tOptions!! ", 1, u"001_Boot_Options"},
      {12, u"Langue fran\u00e7aise", 1, u"012_Langue_fran_aise"},
      {1234, u"Main", 1, u"1234_Main"},
      {3, u"", 42, u"003_form_42"},
      {3, u"\u00e9\u00e8 / \\:*?", 65535, u"003_form_65535"},
      {5, Forty + u"bcd", 1, u"005_" + Forty},
      {5, Forty.substr(1) + u" b", 1, u"005_" + Forty.substr(1)},  // a gap cut at the limit is dropped
      {5, Forty.substr(2) + u" bc", 1, u"005_" + Forty.substr(2) + u"_b"},
      {4294967295u, Forty + u"zz", 1, u"4294967295_" + Forty},  // the longest stem fills its buffer
  };
  for (const auto &Case : Cases) {
    CHAR16 Stem[kFormStemLength];
    BuildFormStem(Case.Position, fake::Ucs2(Case.Title).data(), Case.FormId, Stem);
    EXPECT_EQ(U16(Stem), Case.Stem) << fake::Narrow(Case.Title);
  }
}

// Two screens of one form as EDK II's display engine draws them, text in
// 8x19 cells; the second is the first with one change, which is the same
// page to the comparison or a new one. Here 6 columns lie left of the help
// and 3 rows above the key help.
TEST(ScreenCompare, OnlyTextLeftOfTheHelpAndAboveTheKeyHelpCounts) {
  using Pixels = std::vector<EFI_GRAPHICS_OUTPUT_BLT_PIXEL>;
  const TEXT_GRID Grid = {4, 3, 9, 8};
  const UINTN Width = 2 * Grid.Left + Grid.Columns * kGlyphWidth, Height = 2 * Grid.Top + Grid.Rows * kGlyphHeight;
  // Glyph Code (1 to 11; 0 is blank) in a cell, Ink on Paper.
  auto Paint = [&](Pixels &Screen, UINTN Column, UINTN Row, unsigned Code, UINT8 Ink, UINT8 Paper) {
    for (UINTN Y = 0; Y < kGlyphHeight; Y++)
      for (UINTN X = 0; X < kGlyphWidth; X++) {
        const UINT8 Grey = Code != 0 && (X * 3 + Y * 5 + Code * 7) % 11 < 4 ? Ink : Paper;
        Screen[(Grid.Top + Row * kGlyphHeight + Y) * Width + Grid.Left + Column * kGlyphWidth + X] = {Grey, Grey, Grey, 0};
      }
  };
  auto CodeAt = [](UINTN Column, UINTN Row) { return static_cast<unsigned>((Row * 9 + Column) % 11 + 1); };
  Pixels First(Width * Height);
  for (UINTN Row = 0; Row < Grid.Rows; Row++)
    for (UINTN Column = 0; Column < Grid.Columns; Column++) Paint(First, Column, Row, CodeAt(Column, Row), 0x20, 0xC0);
  Paint(First, 3, 0, 0, 0x20, 0xC0);
  auto Another = [&](UINTN Column, UINTN Row) {
    return [&, Column, Row](Pixels &Second) { Paint(Second, Column, Row, CodeAt(Column, Row) % 11 + 1, 0x20, 0xC0); };
  };
  const struct {
    const char *What;
    std::function<void(Pixels &)> Change;
    bool Same;
  } Cases[] = {
      {"nothing", [](Pixels &) {}, true},
      {"the highlight on row 1, in other colours",
       [&](Pixels &Second) {
         for (UINTN Column = 0; Column < Grid.Columns; Column++) Paint(Second, Column, 1, CodeAt(Column, 1), 0xFF, 0x00);
       },
       true},
      {"another glyph in the last cell compared", Another(5, 2), false},
      {"another glyph in the help's first column", Another(6, 0), true},
      {"another glyph in the key help's first row", Another(0, 3), true},
      {"one pixel of a glyph",
       [&](Pixels &Second) {
         EFI_GRAPHICS_OUTPUT_BLT_PIXEL &Pixel = Second[(Grid.Top + 26) * Width + Grid.Left + 11];
         const UINT8 Other = Pixel.Blue == 0x20 ? 0xC0 : 0x20;
         Pixel = {Other, Other, Other, 0};
       },
       false},
      {"the margin around the cells", [](Pixels &Second) { Second[0] = {0xFF, 0xFF, 0xFF, 0}; }, true},
      // A cell of one colour, whichever: all that a highlight leaves of a blank one.
      {"a blank cell filled whole", [&](Pixels &Second) { Paint(Second, 3, 0, 0, 0x20, 0x20); }, true},
  };
  for (const auto &Case : Cases) {
    Pixels Second = First;
    Case.Change(Second);
    CaptureImage A = {Width, Height, 0, First.data()}, B = {Width, Height, 0, Second.data()};
    EXPECT_EQ(SameButHighlightAndHelp(&A, &B, Grid), Case.Same) << Case.What;
  }
}

// The comparison assumes EDK II's cells, 8x19 (the UEFI standard's narrow
// glyph) and centred: its rows must lie on the screen's text rows, since a
// highlight recolours whole rows and a cell across two of them has more
// colours than a glyph's two; its columns need not. Where the rows do not
// line up, the Page Down that moved only the highlight looks new: each form
// gets one screen more, its last page again, and no page is lost.
TEST(ScreenCompare, TextRowsMustLieOnEdk2sCellsOrEachFormGetsOneScreenMore) {
  const struct {
    const char *What;
    UINTN CellWidth, CellHeight;
    bool Centred, JudgedRight;
  } Layouts[] = {
      {"EDK II's 8x19, centred", 8, 19, true, true},
      {"9x19: other columns", 9, 19, true, true},
      {"8x19 from the top-left corner: rows 5 pixels off", 8, 19, false, false},
      {"8x16", 8, 16, true, false},
  };
  for (const auto &Layout : Layouts) {
    SCOPED_TRACE(Layout.What);
    fake::FakeFirmware Fw;
    fake::FakeForms Forms(Fw);
    Arrange(Forms);
    Forms.CellWidth = Layout.CellWidth;
    Forms.CellHeight = Layout.CellHeight;
    Forms.Centred = Layout.Centred;
    Forms.SetTextMode(100, 31);
    EXPECT_EQ(RunForms(Fw, Forms, {"-set", "1"}), EFI_SUCCESS);
    std::vector<std::string> Screens = {"001_SIMPLE_EN_FRAN_AIS.PNG", "002_LONG_PAGE.PNG", "002_LONG_PAGE_2.PNG",
                                        "002_LONG_PAGE_3.PNG"};
    if (!Layout.JudgedRight) {
      Screens.insert(Screens.begin() + 1, "001_SIMPLE_EN_FRAN_AIS_2.PNG");
      Screens.push_back("002_LONG_PAGE_4.PNG");
    }
    EXPECT_EQ(ExpectScreens(Fw, Forms), Screens);
  }
}

// Each firmware call of a short walk failing in turn: on every road the
// firmware's input comes back, nothing is kept, every file left is whole,
// and success means every screen was saved.
// --- every setting as text -------------------------------------------------------

// Questions as EDK II's VFR compiler lays them out: prompt, help, id, store,
// offset (or a name's string id), flags; then each kind's own fields.
Bytes Question(UINT8 Code, bool Scope, UINT16 Prompt, UINT16 Id, UINT16 Store, UINT16 Info, const Bytes &Own) {
  return Op(Code, Scope, Le(Prompt, 2) + Le(0, 2) + Le(Id, 2) + Le(Store, 2) + Le(Info, 2) + Bytes{0} + Own);
}
Bytes Checkbox(UINT16 Prompt, UINT16 Id, UINT16 Store, UINT16 Offset, UINT8 Flags = 0) {
  return Question(0x06, false, Prompt, Id, Store, Offset, {Flags});
}
Bytes Option(UINT16 Text, UINT8 Value, UINT8 Flags = 0) { return Op(0x09, false, Le(Text, 2) + Bytes{Flags, 0, Value}); }
// A byte-wide one-of or numeric (flags 0), or two bytes wide (flags 1); hex with 0x20.
Bytes Sized(UINT8 Code, UINT16 Prompt, UINT16 Id, UINT16 Store, UINT16 Info, UINT8 Flags, const Bytes &Inside) {
  const int Width = 1 << (Flags & 3);
  return Question(Code, true, Prompt, Id, Store, Info, Bytes{Flags} + Le(0, Width) + Le(0xFFFF, Width) + Le(1, Width)) +
         Inside + kEnd;
}
Bytes Default(UINT8 Type, const Bytes &Value) { return Op(0x5B, false, Le(0, 2) + Bytes{Type} + Value); }
// An expression of more than one opcode as EDK II's compiler brackets it: a
// scope opened on its first opcode, ended after its last.
Bytes Condition(UINT8 Code, Bytes Expression, const Bytes &Governed) {
  if (Expression.size() > Expression[1]) {
    Expression[1] |= 0x80;
    Expression = Expression + kEnd;
  }
  return Op(Code, true, {}) + Expression + Governed + kEnd;
}
Bytes IdEqVal(UINT16 Id, UINT16 Value) { return Op(0x12, false, Le(Id, 2) + Le(Value, 2)); }
Bytes Store(UINT8 Code, UINT16 Id, UINT32 Data1, UINT16 Size, const std::string &Name) {
  const Bytes Named = Bytes(Name.begin(), Name.end()) + Bytes{0};
  if (Code == 0x25) return Op(Code, false, Le(Id, 2) + GuidBytes(Guid(Data1)));
  if (Code == 0x24) return Op(Code, false, GuidBytes(Guid(Data1)) + Le(Id, 2) + Le(Size, 2) + Named);
  return Op(Code, false, Le(Id, 2) + GuidBytes(Guid(Data1)) + Le(7, 4) + Le(Size, 2) + Named);
}
std::string Hex(const Bytes &Data) {
  std::string Out;
  for (UINT8 Byte : Data) Out += "0123456789abcdef"[Byte >> 4], Out += "0123456789abcdef"[Byte & 15];
  return Out;
}

// A driver's form set with a question of every kind in stores of every
// kind, and the conditions a page puts around them: "Settings" 0x40, set 4.
void ArrangeSettings(fake::FakeFirmware &Fw, fake::FakeForms &Forms) {
  const Bytes Main =
      Form(1, 2) + Subtitle(10) + kEnd + Op(0x03, false, Le(11, 2) + Le(0, 2) + Le(12, 2)) +
      Checkbox(20, 1, 1, 0, 0x01) +
      Sized(0x05, 21, 2, 1, 1, 0, Option(30, 0) + Option(31, 1) + Option(32, 2, 0x10)) +
      Sized(0x07, 22, 3, 1, 2, 1, Default(1, Le(100, 2))) + Sized(0x07, 23, 4, 7, 0, 0x20, {}) +
      Checkbox(24, 5, 4, 0) +
      Sized(0x07, 25, 6, 2, 0, 2, Op(0x5B, true, Le(0, 2) + Bytes{8}) + Op(0x42, false, {3}) + kEnd) +
      Question(0x1C, false, 26, 7, 2, 4, {0, 1, 0}) + Question(0x08, false, 27, 8, 2, 4, Le(0, 2) + Le(1, 2)) +
      Checkbox(28, 9, 5, 0) + Sized(0x07, 29, 10, 6, 0, 1, {}) + Sized(0x07, 40, 11, 3, 60, 1, {}) +
      Checkbox(41, 12, 8, 0) + Question(0x1A, false, 42, 13, 0, 0, {0}) + Question(0x1B, false, 43, 14, 0, 0, {0}) +
      Question(0x23, true, 44, 15, 2, 6, {2, 0}) + Option(45, 1) + Option(46, 2) + kEnd +
      Question(0x0C, false, 47, 16, 0, 0, {}) + Question(0x0F, false, 48, 17, 0, 0, Le(2, 2)) +
      Op(0x5F, true, GuidBytes(gEdkiiIfrBitVarstoreGuid)) + Checkbox(49, 18, 1, 0) + kEnd +
      Sized(0x05, 50, 19, 0, 0, 0, Option(30, 0) + Option(31, 1, 0x10)) + kEnd;
  const Bytes Conditions =
      Form(2, 3) + Condition(0x0A, IdEqVal(1, 1), Checkbox(51, 20, 1, 0)) +
      Condition(0x19, IdEqVal(6, 5) + Op(0x14, false, Le(3, 2) + Le(2, 2) + Le(1, 2) + Le(0x1234, 2)) + Op(0x16, false, {}),
                Checkbox(52, 21, 1, 0)) +
      Condition(0x0A, Op(0x47, false, {}),
                Condition(0x19, Op(0x40, false, Le(1, 2)) + Op(0x42, false, {1}) + Op(0x2F, false, {}),
                          Checkbox(53, 22, 1, 0))) +
      Condition(0x1E, Op(0x46, false, {}), Checkbox(54, 23, 1, 0)) +
      Condition(0x0A, Op(0x58, false, {}), Checkbox(55, 24, 1, 0)) +
      Condition(0x19, IdEqVal(8, 0) + Op(0x17, false, {}), Checkbox(56, 25, 1, 0)) + kEnd;
  const Bytes Set = FormSet(0x40, 1) + Store(0x26, 1, 0x51, 8, "Setup") + Store(0x26, 7, 0x57, 4, "Setup") +
                    Store(0x26, 4, 0x54, 2, "Absent") + Store(0x24, 2, 0x52, 8, "Config") +
                    Store(0x24, 5, 0x55, 2, "Broken") + Store(0x24, 6, 0x56, 4, "Short") +
                    Store(0x25, 3, 0x53, 0, "") + Store(0x24, 8, 0x58, 2, "Garbled") + Main + Conditions + kEnd;
  fake::FakePackageList List{PackageList(0xD, {Set}), {}};
  Forms.DriverPaths[Forms.Lists.size()] = Bytes{1, 4, 20, 0} + GuidBytes(Guid(0xD0)) + Bytes{0x7F, 0xFF, 4, 0};
  const std::vector<std::pair<EFI_STRING_ID, std::u16string>> Strings = {
      {1, u"Settings"}, {2, u"Main"}, {3, u"Conditions"}, {10, u"Section"}, {11, u"Firmware"}, {12, u"1.0"},
      {20, u"Boost"}, {21, u"Mode"}, {22, u"Ratio"}, {23, u"Mask"}, {24, u"Absent box"}, {25, u"Lanes"},
      {26, u"Name"}, {27, u"Secret"}, {28, u"Broken box"}, {29, u"Short"}, {30, u"Off"}, {31, u"On"},
      {32, u"Auto \"quoted\""}, {40, u"Speed"}, {41, u"Garbled box"}, {42, u"Date"}, {43, u"Time"},
      {44, u"Order"}, {45, u"First"}, {46, u"Second"}, {47, u"Apply"}, {48, u"More"}, {49, u"Bit"},
      {50, u"Kept"}, {51, u"Hidden"}, {52, u"Grey"}, {53, u"Nested"}, {54, u"Disabled"}, {55, u"Unknown"},
      {56, u"Unread"}, {60, u"Speed"}};
  for (const auto &String : Strings) List.Strings["en-US"][String.first] = String.second;
  Forms.Lists.push_back(List);
  // A set the listing takes but whose questions break the rules: a checkbox too short.
  Forms.Lists.push_back({PackageList(0xE, {FormSet(0x41, 1) + Form(1, 1) + Op(0x06, false, Bytes(5, 0)) + kEnd + kEnd}),
                         {{"en-US", {{1, u"Broken"}}}}});
  Fw.Variables["Setup@81"] = {1, 1, 0x34, 0x12, 0, 0, 0, 0};
  Fw.Variables["Setup@87"] = {0xAB, 0, 0, 0};  // the same name under another GUID
  Forms.Extract = [](const std::u16string &Request, std::u16string *Results) -> EFI_STATUS {
    const std::u16string Header = Request.substr(0, Request.find(u'&', Request.find(u"PATH=")));
    const std::string Asked = fake::Narrow(Request);
    const auto Is = [&](UINT32 Data1) { return Asked.compare(5, 32, Hex(GuidBytes(Guid(Data1)))) == 0; };
    std::string Tail;
    if (Is(0x52)) Tail = "&OFFSET=0&WIDTH=8&VALUE=0102004100000004&GUID=" + Hex(GuidBytes(Guid(0x52))) +
                         "&ALTCFG=0000&OFFSET=0&WIDTH=8&VALUE=ffffffffffffffff";
    else if (Is(0x56)) Tail = "&OFFSET=0&WIDTH=1&VALUE=07";  // shorter than its question
    else if (Is(0x53)) Tail = "&Speed=000a";
    else if (Is(0x58)) Tail = "&OFFSET=0&WIDTH=2&VALUE=zz";
    else return EFI_DEVICE_ERROR;
    *Results = Header + std::u16string(Tail.begin(), Tail.end());
    return EFI_SUCCESS;
  };
}

// Each question's line as the page would show it, read without a form
// shown or a key given: values from GetVariable (by name and GUID), from the
// drivers through ExtractConfig and from the clock; what cannot be read says
// why; defaults from their three sources; conditions evaluated from the
// values read, never guessed.
TEST_F(FormsToolTest, TextReadsEveryQuestionAsItsPageShowsIt) {
  ArrangeSettings(Fw, Forms);
  EXPECT_EQ(Run({"-text"}), EFI_SUCCESS);
  EXPECT_EQ(Forms.SendForms, 0u);
  EXPECT_TRUE(ExpectScreens(Fw, Forms).empty());
  const std::string Settings = Text(Fw.FindFile(kFolder + "SETTINGS.TXT"));
  const std::string M = "Settings > Main > ", C = "Settings > Conditions > ";
  const std::vector<std::string> Lines = {
      M + "Section", M + "Firmware: 1.0",
      M + "Boost = [X] (default [X])",
      M + "Mode = On (default Auto \"quoted\") *",
      M + "Ratio = 4660 (default 100) *",
      M + "Mask = 0xAB (default none)",
      M + "Absent box = not set (the page shows its default) (default none)",
      M + "Lanes = 4 (default not evaluated)",
      M + "Name = (1 character) (default none)",
      M + "Secret = not read (a password) (default none)",
      M + "Broken box = not readable (EFI_DEVICE_ERROR) (default none)",
      M + "Short = not readable (the response leaves it out) (default none)",
      M + "Speed = 10 (default none)",
      M + "Garbled box = not readable (a malformed response was skipped) (default none)",
      M + "Date = 2024-01-15 (default none)",
      M + "Time = 10:30:45 (default none)",
      M + "Order = Second, First (default none)",
      M + "Apply (an action)", M + "More (a link to another form)",
      M + "Bit = not read (stored as bit fields) (default none)",
      M + "Kept = not read (kept by the page's driver) (default On)",
      C + "Hidden = [X] (default none) [hidden]",
      C + "Grey = [X] (default none) [greyed]",
      C + "Nested = [X] (default none) [greyed]",
      C + "Disabled = [X] (default none) [disabled]",
      C + "Unknown = [X] (default none) [not evaluated]",
      C + "Unread = [X] (default none) [not evaluated]",
      "Broken: not read, its forms break the IFR's rules: skipped"};
  std::string Expected;
  for (const std::string &Line : Lines) Expected += Line + "\r\n";
  ASSERT_NE(Settings.find("\r\n"), std::string::npos);
  EXPECT_EQ(Settings.substr(Settings.find("\r\n") + 2), Expected);

  // Read-only: a buffer's request names its store and its driver's path.
  const std::string Path = "01041400" + Hex(GuidBytes(Guid(0xD0))) + "7fff0400";
  ASSERT_FALSE(Forms.Requests.empty());
  const std::string Asked = "GUID=" + Hex(GuidBytes(Guid(0x52))) + "&NAME=0043006f006e006600690067&PATH=" + Path;
  EXPECT_EQ(fake::Narrow(Forms.Requests[0]), Asked);
  EXPECT_TRUE(Fw.CallsOf("SetVariable").empty());
  const std::string Json = Text(Fw.FindFile(kFolder + "SETTINGS.JSON"));
  for (const std::string &Field : std::vector<std::string>{"\"format\": 1,", "\"devicePath\": \"" + Path + "\"",
        "\"prompt\": \"Boost\", \"help\": \"\", \"store\": {\"kind\": \"efi\", \"guid\": "
        "\"00000051-1234-5678-0102-030405060708\", \"name\": \"Setup\", \"devicePath\": \"\"}, \"offset\": 0",
        "\"options\": [{\"text\": \"Off\", \"value\": \"0\"}, {\"text\": \"On\", \"value\": \"1\"}, "
        "{\"text\": \"Auto \\\"quoted\\\"\", \"value\": \"2\"}], \"value\": \"On\", \"raw\": \"1\"",
        "\"store\": {\"kind\": \"name-value\", \"guid\": \"00000053-", "\"name\": \"Speed\"",
        "\"value\": null, \"raw\": null, \"notRead\": \"not read (a password)\"",
        "\"conditions\": [\"not evaluated\"], \"notEvaluated\": [\"opcode 0x58\"]"})
    EXPECT_NE(Json.find(Field), std::string::npos) << Field << "\n" << Json;
  const std::string Index = Text(Fw.FindFile(kFolder + "INDEX.TXT"));
  EXPECT_NE(Index.find("Settings: 25 questions, 6 values not read, 2 conditions not evaluated.\r\n"),
            std::string::npos) << Index;
  EXPECT_NE(Text(Fw.FindFile(kFolder + "INDEX.HTML")).find("<a href=\"settings.txt\">settings.txt</a>"),
            std::string::npos);
}

// Conditions from known expressions: each opcode evaluated, values from
// questions known and unknown, and every expression that cannot be told
// left not evaluated with the opcode that stopped it.
TEST(FormConditions, EvaluatedOnlyWhereEveryPartIsKnown) {
  const Bytes True = Op(0x46, false, {}), False = Op(0x47, false, {});
  const auto U8 = [](UINT8 Value) { return Op(0x42, false, {Value}); };
  const auto Binary = [](UINT8 Code) { return Op(Code, false, {}); };
  const struct {
    const char *What;
    Bytes Expression;
    VERDICT Verdict;
    UINT8 Blocker;
  } Cases[] = {
      {"ideqval, question 1 is 5", IdEqVal(1, 5), VERDICT::True, 0},
      {"ideqid, 1 against 2 (5 and 7)", Op(0x13, false, Le(1, 2) + Le(2, 2)), VERDICT::False, 0},
      {"ideqvallist, 5 among 3, 5", Op(0x14, false, Le(1, 2) + Le(2, 2) + Le(3, 2) + Le(5, 2)), VERDICT::True, 0},
      {"questionref1 2 > uint16 6", Op(0x40, false, Le(2, 2)) + Op(0x43, false, Le(6, 2)) + Binary(0x31), VERDICT::True, 0},
      {"not, and, or", True + Binary(0x17) + False + Binary(0x16) + True + Binary(0x15), VERDICT::False, 0},
      {"each comparison", U8(3) + U8(3) + Binary(0x32) + U8(2) + U8(3) + Binary(0x33) + Binary(0x15) + U8(4) + U8(3) +
           Binary(0x34) + Binary(0x17) + Binary(0x15) + U8(1) + U8(2) + Binary(0x30) + Binary(0x15), VERDICT::True, 0},
      {"ones, zero, one, uint32, uint64", Op(0x54, false, {}) + Op(0x45, false, Le(0xFFFFFFFF, 4) + Le(0xFFFFFFFF, 4)) +
           Binary(0x2F) + Op(0x52, false, {}) + Op(0x53, false, {}) + Binary(0x33) + Binary(0x15), VERDICT::True, 0},
      {"bracketed as EDK II compiles it", Bytes{0x12, 0x86, 1, 0, 5, 0} + True + Binary(0x15) + kEnd, VERDICT::True, 0},
      {"a question not read", IdEqVal(9, 0), VERDICT::NotEvaluated, 0x12},
      {"an opcode not evaluated", Op(0x2B, false, Bytes(6, 0)), VERDICT::NotEvaluated, 0x2B},
      {"an operator short of operands", True + Binary(0x15), VERDICT::NotEvaluated, 0x15},
      {"two values left", True + True, VERDICT::NotEvaluated, 0},
      {"an ideqvallist longer than its opcode", Op(0x14, false, Le(1, 2) + Le(9, 2) + Le(5, 2)), VERDICT::NotEvaluated, 0x14},
      {"a uint16 too short", Op(0x43, false, {1}), VERDICT::NotEvaluated, 0x43},
  };
  const QUESTION_LOOKUP Values = [](VOID *, UINT16 Id) {
    return Id == 1 ? QUESTION_VALUE{TRUE, 5} : Id == 2 ? QUESTION_VALUE{TRUE, 7} : QUESTION_VALUE{FALSE, 0};
  };
  for (const auto &Case : Cases) {
    const EXPRESSION_RESULT Result = EvaluateCondition(Case.Expression.data(), Case.Expression.size(), Values, nullptr);
    EXPECT_EQ(Result.Verdict, Case.Verdict) << Case.What;
    EXPECT_EQ(Result.Blocker, Case.Blocker) << Case.What;
  }
}

// A form set whose questions break a rule is refused whole; every cut of a
// good one too, never read past its end.
class FormQuestionsTest : public FirmwareTest {};

TEST_F(FormQuestionsTest, MalformedQuestionsRefuseTheirFormSet) {
  const Bytes Good = FormSet(0x40, 1) + Store(0x24, 2, 0x52, 8, "Config") + Form(1, 2) + Checkbox(3, 1, 2, 0) +
                     Condition(0x0A, IdEqVal(1, 1), Sized(0x05, 4, 2, 2, 1, 0, Option(5, 1) + Default(0, {1}))) +
                     kEnd + kEnd;
  const std::vector<Bytes> Broken = {
      FormSet(0x40, 1) + Form(1, 2) + Op(0x06, false, Bytes(5, 0)) + kEnd + kEnd,           // a short checkbox
      FormSet(0x40, 1) + Form(1, 2) + Op(0x07, false, Bytes(13, 0) + Bytes{2}) + kEnd + kEnd,  // bounds cut off
      FormSet(0x40, 1) + Op(0x24, false, GuidBytes(Guid(1)) + Le(1, 2) + Le(4, 2) + Bytes{'A'}) + kEnd,  // no NUL
      FormSet(0x40, 1) + Form(1, 2) + Op(0x09, false, Bytes{5, 0, 0, 3, 1}) + kEnd + kEnd,  // a 64-bit option of 1 byte
      FormSet(0x40, 1) + Form(1, 2) + Form(2, 2) + kEnd + kEnd + kEnd,  // forms nested
      FormSet(0x40, 1) + Form(1, 2) + kEnd,                            // never ended
  };
  for (size_t Index = 0; Index < Broken.size(); Index++) {
    const Bytes List = PackageList(0xE, {Broken[Index]});
    FormQuestions Questions;
    EXPECT_EQ(ReadFormQuestions(List.data(), List.size(), Guid(0x40), &Questions), EFI_COMPROMISED_DATA) << Index;
  }
  const Bytes List = PackageList(0xE, {Good});
  FormQuestions Questions;
  ASSERT_EQ(ReadFormQuestions(List.data(), List.size(), Guid(0x40), &Questions), EFI_SUCCESS);
  ASSERT_EQ(Questions.Items.Count(), 2u);
  EXPECT_TRUE(Questions.Items[1].ConditionCount == 1 && Questions.Items[1].OptionCount == 1 &&
              Questions.Items[1].Default == DEFAULT_SOURCE::Constant && Questions.Stores.Count() == 1);
  EXPECT_EQ(ReadFormQuestions(List.data(), List.size(), Guid(0x41), &Questions), EFI_NOT_FOUND);
  for (size_t Cut = 1; Cut < Good.size(); Cut++) {
    const Bytes Short = PackageList(0xE, {Bytes(Good.begin(), Good.begin() + static_cast<long>(Cut))});
    FormQuestions Partial;
    EXPECT_NE(ReadFormQuestions(Short.data(), Short.size(), Guid(0x40), &Partial), EFI_SUCCESS) << Cut;
  }
}

// A walk reads each form set once its forms were shown, as drivers may fill
// in options when a page opens; -strings writes a string's text.
TEST_F(FormsToolTest, WalkReadsSettingsAfterShowingTheirForms) {
  ArrangeSettings(Fw, Forms);
  Forms.Forms = {{1, {}}, {2, {}}};
  EXPECT_EQ(Run({"-set", "4", "-strings"}), EFI_SUCCESS);
  EXPECT_EQ(Forms.SendForms, 2u);
  const auto First = [&](const std::string &Call) {
    return std::find_if(Fw.Calls.begin(), Fw.Calls.end(), [&](const std::string &Made) { return Made.rfind(Call, 0) == 0; });
  };
  EXPECT_LT(First("SendForm(2)"), First("ExtractConfig("));
  EXPECT_NE(Text(Fw.FindFile(kFolder + "SETTINGS.TXT")).find("Settings > Main > Name = A (default none)\r\n"),
            std::string::npos);
}

TEST(FormsFaultTest, EveryCallFailingInTurn) {
  const size_t Calls = FailEachCallInTurn([](fake::FakeFirmware &Fw, const CallFailing &Failing) {
    fake::FakeForms Forms(Fw);
    Arrange(Forms);
    Forms.SetTextMode(16, 8);  // small screens: deflate is most of the time here
    const EFI_STATUS Status = RunForms(Fw, Forms, {"-set", "1"}, Failing.Nth != 0);
    const std::vector<std::string> Saved = ExpectScreens(Fw, Forms);
    if (!EFI_ERROR(Status)) {
      // Without the display engine, no Page Down: the long form's first screen alone.
      EXPECT_EQ(Saved.size(), Fw.FailedCall == "LocateProtocol(DisplayEngine)" ? 2u : 4u)
          << "success with screens missing";
      const std::vector<std::string> Files = Fw.FileNames();
      EXPECT_TRUE(std::any_of(Files.begin(), Files.end(), [](const std::string &Path) {
        return Path.size() > 11 && Path.compare(Path.size() - 11, 11, "\\INDEX.HTML") == 0;
      }));
    }
  });
  std::printf("[ faults ] %zu calls of a walk failed in turn\n", Calls);
}

// Reading every setting, each call failing in turn: nothing kept, nothing
// written outside the folder, never a write to a setting.
TEST(FormsFaultTest, TextEveryCallFailingInTurn) {
  const size_t Calls = FailEachCallInTurn([](fake::FakeFirmware &Fw, const CallFailing &Failing) {
    fake::FakeForms Forms(Fw);
    ArrangeSettings(Fw, Forms);
    const EFI_STATUS Status = RunForms(Fw, Forms, {"-text"}, Failing.Nth != 0);
    EXPECT_TRUE(Failing.Nth != 0 || Status == EFI_SUCCESS);
    std::set<std::string> Folders, Names;
    for (const std::string &Path : Fw.FileNames()) {
      Folders.insert(Path.substr(0, Path.rfind('\\')));
      Names.insert(Path.substr(Path.rfind('\\') + 1));
    }
    EXPECT_LE(Folders.size(), 1u);
    EXPECT_TRUE(Folders.empty() || Folders.begin()->rfind("\\VISTREL_FORMS_", 0) == 0) << *Folders.begin();
    EXPECT_TRUE(Fw.CallsOf("SetVariable").empty());
    EXPECT_TRUE(EFI_ERROR(Status) || Names.count("SETTINGS.JSON") == 1) << "success without the settings";
  });
  std::printf("[ faults ] %zu calls of a -text run failed in turn\n", Calls);
}

}  // namespace

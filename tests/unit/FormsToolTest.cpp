// The forms tool against the fake firmware's forms: the listing from package
// lists built here, the walk against a browser that reads keys as EDK II's.
#include <cstring>
#include <functional>

#include "forms/FormList.h"
#include "forms/FormNames.h"
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
                           "index.html, index.txt\r\nOpen \\Vistrel_forms_240115_235930\\index.html on another "
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
     "In \\Vistrel_forms_240115_103045: index.html, index.txt\r\nThis firmware does not show its pages to another "
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
     "In \\Vistrel_forms_240115_103045: index.html, index.txt\r\nThis firmware turns its pages only from the "
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

const char kUsage[] = "usage: vistrel-forms.efi [-list] [-set N|GUID] [-step]\r\n";

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
  EXPECT_EQ(Fw.Volume.size() != Entries, Case.SendForms != 0) << "a folder is made for a walk alone";
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

}  // namespace

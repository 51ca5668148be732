#include "tests/fake/FakeForms.h"

#include <cstring>

namespace fake {
namespace {

FakeForms *gForms = nullptr;
FakeForms &G() { return *gForms; }

bool Is(const EFI_GUID *A, const EFI_GUID &B) { return std::memcmp(A, &B, sizeof(B)) == 0; }

UINT32 Crc32(const UINT8 *Data, size_t Size) {
  UINT32 Crc = 0xFFFFFFFF;
  for (size_t At = 0; At < Size; At++) {
    Crc ^= Data[At];
    for (int Bit = 0; Bit < 8; Bit++) Crc = (Crc >> 1) ^ (0xEDB88320 & (0 - (Crc & 1)));
  }
  return ~Crc;
}

// A firmware's answer of Count bytes into Buffer, *Size long, or how long it must be.
EFI_STATUS Give(const void *Bytes, size_t Count, void *Buffer, UINTN *Size) {
  const bool Fits = *Size >= Count;
  if (Fits && Count != 0) std::memcpy(Buffer, Bytes, Count);
  *Size = Count;
  return Fits ? EFI_SUCCESS : EFI_BUFFER_TOO_SMALL;
}

// --- the table's CRC and the protocols the forms tool looks for ----------------

EFI_STATUS EFIAPI CalculateCrc32(VOID *Data, UINTN Size, UINT32 *Crc) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("CalculateCrc32", std::to_string(Size), &Injected)) return Injected;
  *Crc = Crc32(static_cast<const UINT8 *>(Data), Size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI LocateProtocol(EFI_GUID *Protocol, VOID *Registration, VOID **Interface) {
  FakeForms &F = G();
  VOID *Found = nullptr;
  const char *Name = "DisplayEngine";
  if (Is(Protocol, gEfiHiiDatabaseProtocolGuid)) Found = F.HasDatabase ? &F.Database : nullptr, Name = "HiiDatabase";
  else if (Is(Protocol, gEfiHiiStringProtocolGuid)) Found = F.HasDatabase ? &F.Strings : nullptr, Name = "HiiString";
  else if (Is(Protocol, gEfiFormBrowser2ProtocolGuid)) Found = F.HasBrowser ? &F.Browser : nullptr, Name = "FormBrowser2";
  else if (Is(Protocol, gEdkiiFormDisplayEngineProtocolGuid)) Found = F.HasDisplayEngine ? &F.DisplayEngine : nullptr;
  else if (Is(Protocol, gEfiHiiConfigRoutingProtocolGuid)) Found = F.HasRouting ? &F.Routing : nullptr, Name = "HiiConfigRouting";
  else return F.SavedBoot.LocateProtocol(Protocol, Registration, Interface);
  EFI_STATUS Injected;
  if (F.Fw.Enter("LocateProtocol", Name, &Injected)) return Injected;
  *Interface = Found;
  return Found == nullptr ? EFI_NOT_FOUND : EFI_SUCCESS;
}

// --- the console's text mode, kept in its Mode record as firmware keeps it ---

EFI_STATUS Synced(EFI_STATUS Status) {
  FakeFirmware &Fw = G().Fw;
  Fw.ConOutMode.Attribute = static_cast<INT32>(Fw.Attribute);
  Fw.ConOutMode.CursorColumn = static_cast<INT32>(Fw.CursorColumn);
  Fw.ConOutMode.CursorRow = static_cast<INT32>(Fw.CursorRow);
  Fw.ConOutMode.CursorVisible = Fw.CursorVisible;
  return Status;
}
EFI_STATUS EFIAPI OutputString(SIMPLE_TEXT_OUTPUT_INTERFACE *This, CHAR16 *Text) {
  return Synced(G().SavedConOut.OutputString(This, Text));
}
EFI_STATUS EFIAPI SetAttribute(SIMPLE_TEXT_OUTPUT_INTERFACE *This, UINTN Attribute) {
  return Synced(G().SavedConOut.SetAttribute(This, Attribute));
}
EFI_STATUS EFIAPI SetCursorPosition(SIMPLE_TEXT_OUTPUT_INTERFACE *This, UINTN Column, UINTN Row) {
  return Synced(G().SavedConOut.SetCursorPosition(This, Column, Row));
}
EFI_STATUS EFIAPI ClearScreen(SIMPLE_TEXT_OUTPUT_INTERFACE *This) { return Synced(G().SavedConOut.ClearScreen(This)); }
EFI_STATUS EFIAPI EnableCursor(SIMPLE_TEXT_OUTPUT_INTERFACE *This, BOOLEAN Visible) {
  return Synced(G().SavedConOut.EnableCursor(This, Visible));
}
EFI_STATUS EFIAPI QueryMode(SIMPLE_TEXT_OUTPUT_INTERFACE *, UINTN Mode, UINTN *Columns, UINTN *Rows) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("QueryMode", std::to_string(Mode), &Injected)) return Injected;
  if (Mode != 0) return EFI_UNSUPPORTED;
  *Columns = G().Columns;
  *Rows = G().Rows;
  return EFI_SUCCESS;
}

// --- the HII database and strings -----------------------------------------------

const FakePackageList *ListOf(EFI_HII_HANDLE Handle) {
  const size_t Index = reinterpret_cast<uintptr_t>(Handle) - 1;
  return Index < G().Lists.size() ? &G().Lists[Index] : nullptr;
}

EFI_STATUS EFIAPI ListPackageLists(EFI_HII_DATABASE_PROTOCOL *, UINT8 Type, const EFI_GUID *, UINTN *Bytes,
                                   EFI_HII_HANDLE *Handles) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("ListPackageLists", std::to_string(Type), &Injected)) return Injected;
  std::vector<EFI_HII_HANDLE> All;
  for (size_t Index = 0; Index < G().Lists.size(); Index++) All.push_back(reinterpret_cast<EFI_HII_HANDLE>(Index + 1));
  if (Type != kHiiPackageForms || All.empty()) return EFI_NOT_FOUND;
  return Give(All.data(), All.size() * sizeof(EFI_HII_HANDLE), Handles, Bytes);
}

EFI_STATUS EFIAPI ExportPackageLists(EFI_HII_DATABASE_PROTOCOL *, EFI_HII_HANDLE Handle, UINTN *Size, VOID *Buffer) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("ExportPackageLists", "", &Injected)) return Injected;
  const FakePackageList *List = ListOf(Handle);
  if (List == nullptr) return EFI_NOT_FOUND;
  return Give(List->Exported.data(), List->Exported.size(), Buffer, Size);
}

EFI_STATUS EFIAPI GetPackageListHandle(EFI_HII_DATABASE_PROTOCOL *, EFI_HII_HANDLE Handle, EFI_HANDLE *Driver) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("GetPackageListHandle", "", &Injected)) return Injected;
  const FakePackageList *List = ListOf(Handle);
  const size_t Index = reinterpret_cast<uintptr_t>(Handle) - 1;
  if (List == nullptr || Index >= std::size(G().DriverTags)) return EFI_INVALID_PARAMETER;
  *Driver = &G().DriverTags[Index];
  return EFI_SUCCESS;
}

// A driver handle's device path; everything else as the firmware's.
EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface, EFI_HANDLE Agent,
                               EFI_HANDLE Controller, UINT32 Attributes) {
  FakeForms &F = G();
  const int *Tag = static_cast<const int *>(Handle);
  if (Tag < std::begin(F.DriverTags) || Tag >= std::end(F.DriverTags) || !Is(Protocol, gEfiDevicePathProtocolGuid))
    return F.SavedBoot.OpenProtocol(Handle, Protocol, Interface, Agent, Controller, Attributes);
  EFI_STATUS Injected;
  if (F.Fw.Enter("OpenProtocol", "DevicePath", &Injected)) return Injected;
  const size_t Index = static_cast<size_t>(Tag - std::begin(F.DriverTags));
  const auto Path = F.DriverPaths.find(Index);
  if (Path == F.DriverPaths.end()) return EFI_UNSUPPORTED;
  *Interface = Path->second.data();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ExtractConfig(const EFI_HII_CONFIG_ROUTING_PROTOCOL *, const CHAR16 *Request, CHAR16 **Progress,
                                CHAR16 **Results) {
  FakeForms &F = G();
  EFI_STATUS Injected;
  if (F.Fw.Enter("ExtractConfig", "", &Injected)) return Injected;
  const std::u16string Asked = FromUcs2(Request);
  F.Requests.push_back(Asked);
  *Progress = const_cast<CHAR16 *>(Request);
  *Results = nullptr;
  std::u16string Answer;
  const EFI_STATUS Status = F.Extract ? F.Extract(Asked, &Answer) : EFI_NOT_FOUND;
  if (EFI_ERROR(Status)) return Status;
  VOID *Pool = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, (Answer.size() + 1) * sizeof(CHAR16), &Pool)))
    return EFI_OUT_OF_RESOURCES;
  std::memcpy(Pool, Answer.c_str(), (Answer.size() + 1) * sizeof(CHAR16));
  *Results = static_cast<CHAR16 *>(Pool);
  *Progress = const_cast<CHAR16 *>(Request) + Asked.size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI RouteConfig() {
  G().Faults.push_back("RouteConfig writes settings");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI GetString(EFI_HII_STRING_PROTOCOL *, const CHAR8 *Language, EFI_HII_HANDLE Handle,
                            EFI_STRING_ID Id, CHAR16 *String, UINTN *Size, VOID **) {
  const std::string Wanted(reinterpret_cast<const char *>(Language));
  EFI_STATUS Injected;
  if (G().Fw.Enter("GetString", Wanted + "," + std::to_string(Id), &Injected)) return Injected;
  const FakePackageList *List = ListOf(Handle);
  if (List == nullptr) return EFI_NOT_FOUND;
  const auto Strings = List->Strings.find(Wanted);
  if (Strings == List->Strings.end()) return EFI_INVALID_LANGUAGE;
  const auto Text = Strings->second.find(Id);
  if (Text == Strings->second.end()) return EFI_NOT_FOUND;
  const std::vector<CHAR16> Stored = Ucs2(Text->second);
  return Give(Stored.data(), Stored.size() * sizeof(CHAR16), String, Size);
}

EFI_STATUS EFIAPI GetLanguages(EFI_HII_STRING_PROTOCOL *, EFI_HII_HANDLE Handle, CHAR8 *Languages, UINTN *Size) {
  EFI_STATUS Injected;
  if (G().Fw.Enter("GetLanguages", "", &Injected)) return Injected;
  const FakePackageList *List = ListOf(Handle);
  if (List == nullptr) return EFI_NOT_FOUND;
  std::string All;
  for (const auto &Entry : List->Strings) All += (All.empty() ? "" : ";") + Entry.first;
  return Give(All.c_str(), All.size() + 1, Languages, Size);
}

// --- the form browser -------------------------------------------------------------

// EDK II's WaitForKeyStroke: read, and while nothing is there, wait and read
// again; gST->ConIn is looked up afresh each time.
bool ReadKey(EFI_INPUT_KEY *Key) {
  FakeForms &F = G();
  for (int Read = 0; Read < 8; Read++) {
    EFI_SIMPLE_TEXT_IN_PROTOCOL *Input = gST->ConIn;
    const EFI_STATUS Status = Input->ReadKeyStroke(Input, Key);
    if (!EFI_ERROR(Status)) {
      if (Input != &F.Fw.ConIn) F.Delivered.push_back(*Key);
      return true;
    }
    UINTN Index = 0;
    if (Status == EFI_NOT_READY && EFI_ERROR(gBS->WaitForEvent(1, &gST->ConIn->WaitForKey, &Index))) break;
  }
  F.Faults.push_back("the browser spun without a key");
  return false;
}

EFI_STATUS EFIAPI SendForm(EFI_FORM_BROWSER2_PROTOCOL *, EFI_HII_HANDLE *, UINTN, EFI_GUID *, EFI_FORM_ID FormId,
                           const VOID *, EFI_BROWSER_ACTION_REQUEST *Action) {
  FakeForms &F = G();
  EFI_STATUS Injected;
  if (F.Fw.Enter("SendForm", std::to_string(FormId), &Injected)) return Injected;
  F.SendForms++;
  *Action = kBrowserActionRequestNone;
  if (EFI_ERROR(F.Refusal)) return F.Refusal;
  const auto Found = F.Forms.find(FormId);
  if (Found == F.Forms.end()) return EFI_NOT_FOUND;
  const FakeForm &Form = Found->second;
  if (F.ConsoleInputIsTheKeyboard()) F.Faults.push_back("the browser reads the keyboard");
  if (F.ReadsKeyboardOnly) {
    // Another maker's: the real keyboard, never gST->ConIn.
    F.Draw(FormId, 0, 0);
    EFI_INPUT_KEY Key;
    for (int Wait = 0; Wait < 4; Wait++) {
      if (F.Fw.ConIn.ReadKeyStroke(&F.Fw.ConIn, &Key) == EFI_SUCCESS) return Key.ScanCode == SCAN_ESC ? Form.Status : EFI_ABORTED;
      UINTN Index = 0;
      if (EFI_ERROR(gBS->WaitForEvent(1, &F.Fw.ConIn.WaitForKey, &Index))) break;
    }
    F.Faults.push_back("the browser waited for the keyboard forever");
    return EFI_ABORTED;
  }
  gST->ConOut->SetAttribute(gST->ConOut, 0x1F);
  gST->ConOut->EnableCursor(gST->ConOut, FALSE);
  gST->ConOut->SetCursorPosition(gST->ConOut, 3, 7);
  const unsigned LastRow = static_cast<unsigned>(F.Rows) - 8;  // a highlight row above the key help
  unsigned Page = 0, Highlight = 0;
  F.Draw(FormId, Page, Highlight);
  for (EFI_INPUT_KEY Key; ReadKey(&Key);) {
    const bool FromTool = !F.ConsoleInputIsTheKeyboard();
    if (Key.ScanCode == SCAN_PAGE_DOWN) {
      Highlight = Page + 1 < Form.Pages ? 0 : LastRow;
      Page += Page + 1 < Form.Pages ? 1 : 0;
    } else if (Form.Stubborn && FromTool) {
      // deaf to the tool's keys: it is drawn again
    } else if (Key.ScanCode == SCAN_ESC && Form.AsksToSave && FromTool) {
      EFI_INPUT_KEY Flushed;
      if (gST->ConIn->ReadKeyStroke(gST->ConIn, &Flushed) == EFI_SUCCESS) F.Faults.push_back("a key lost to the flush");
      F.Draw(FormId, 1000, 0);  // "Press 'Y' to save and exit, 'N' to discard and exit, 'ESC' to cancel"
      if (!ReadKey(&Key)) break;
      if (Key.UnicodeChar == 'N') return EFI_SUCCESS;
      if (Key.ScanCode != SCAN_ESC) F.Faults.push_back("the save prompt got another key");
    } else if (Key.ScanCode == SCAN_ESC || !FromTool) {
      *Action = Form.Action;
      return Form.Status;
    } else {
      F.Faults.push_back("the form got a key it acts on");
    }
    F.Draw(FormId, Page, Highlight);
  }
  return EFI_ABORTED;
}

}  // namespace

// Text cells: a code per cell drawn as a pattern of its own in two colours,
// the highlighted row inverted, the help column and the key help following
// the highlight.
void FakeForms::Draw(EFI_FORM_ID Form, unsigned Page, unsigned Highlight) {
  const UINTN Left = Centred ? (Fw.ScreenWidth - Columns * CellWidth) / 2 : 0;
  const UINTN Top = Centred ? (Fw.ScreenHeight - Rows * CellHeight) / 2 : 0;
  std::fill(Fw.Screen.begin(), Fw.Screen.end(), 0);
  for (UINTN Row = 0; Row < Rows; Row++)
    for (UINTN Column = 0; Column < Columns; Column++) {
      const bool Help = Column >= Columns - Columns / 3 || Row >= Rows - 5;
      const unsigned Code = Column % 9 == 8 ? 0 : (Help ? Highlight * 3 + Row + Column : Form * 7 + Page * 5 + Row * 3 + Column) % 13;
      const bool Lit = !Help && Row == Highlight + 2;
      const UINT32 Ink = Lit ? 0xFFFFFF : 0x000080, Paper = Lit ? 0x000000 : 0xC0C0C0;
      for (UINTN Y = 0; Y < CellHeight; Y++)
        for (UINTN X = 0; X < CellWidth; X++)
          Fw.Screen[(Top + Row * CellHeight + Y) * Fw.ScreenWidth + Left + Column * CellWidth + X] =
              Code != 0 && (X * 3 + Y * 5 + Code * 7) % 11 < 4 ? Ink : Paper;
    }
  Screens.push_back({Form, Page, Fw.Screen});
}

bool FakeForms::ConsoleInputIsTheKeyboard() const {
  EFI_SYSTEM_TABLE Table = Fw.St;
  Table.Hdr.CRC32 = 0;
  return Fw.St.ConIn == &Fw.ConIn &&
         Fw.St.Hdr.CRC32 == Crc32(reinterpret_cast<const UINT8 *>(&Table), sizeof(Table));
}

FakeForms::FakeForms(FakeFirmware &Firmware)
    : Fw(Firmware), SavedTable(Fw.St), SavedBoot(Fw.Bs), SavedRuntime(Fw.Rt), SavedConOut(Fw.ConOut),
      SavedImage(Fw.LoadedImage) {
  gForms = this;
  Database.ListPackageLists = ListPackageLists;
  Database.ExportPackageLists = ExportPackageLists;
  Database.GetPackageListHandle = GetPackageListHandle;
  Routing.ExtractConfig = ExtractConfig;
  Routing.RouteConfig = reinterpret_cast<VOID *>(RouteConfig);
  Strings.GetString = GetString;
  Strings.GetLanguages = GetLanguages;
  Browser.SendForm = SendForm;
  Fw.Bs.CalculateCrc32 = CalculateCrc32;
  Fw.Bs.LocateProtocol = LocateProtocol;
  Fw.Bs.OpenProtocol = OpenProtocol;
  Fw.Variables["PlatformLang"] = {'f', 'r', '-', 'F', 'R', 0};
  Fw.KeyDuringWait = false;  // keys come from the test, when it types them
  Fw.ConOut.OutputString = OutputString;
  Fw.ConOut.SetAttribute = SetAttribute;
  Fw.ConOut.SetCursorPosition = SetCursorPosition;
  Fw.ConOut.ClearScreen = ClearScreen;
  Fw.ConOut.EnableCursor = EnableCursor;
  Fw.ConOut.QueryMode = QueryMode;
  Synced(EFI_SUCCESS);
  Fw.LoadedImage.DeviceHandle = &Fw.Volumes[0].HandleTag;  // the tool's own volume
  Fw.St.Hdr.HeaderSize = sizeof(EFI_SYSTEM_TABLE);
  Fw.St.Hdr.CRC32 = 0;
  Fw.St.Hdr.CRC32 = Crc32(reinterpret_cast<const UINT8 *>(&Fw.St), sizeof(Fw.St));
  SetTextMode(100, 31);
}

void FakeForms::SetTextMode(UINTN TextColumns, UINTN TextRows) {
  Columns = TextColumns;
  Rows = TextRows;
  Fw.SetScreenSize(static_cast<UINT32>(Columns * CellWidth), static_cast<UINT32>(Rows * CellHeight + 11));
}

FakeForms::~FakeForms() {
  Fw.St = SavedTable;
  Fw.Bs = SavedBoot;
  Fw.Rt = SavedRuntime;
  Fw.ConOut = SavedConOut;
  Fw.LoadedImage = SavedImage;
  gForms = nullptr;
}

}  // namespace fake

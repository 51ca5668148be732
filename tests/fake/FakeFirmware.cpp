#include "tests/fake/FakeFirmware.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Cmos.h"

namespace fake {
namespace {

FakeFirmware *gCurrent = nullptr;

struct FakeFileHandle {
  EFI_FILE_PROTOCOL Protocol;  // first: the command holds a pointer to it
  FakeVolume *Volume;
  std::string Path;
  UINT64 Position = 0;
};
static_assert(offsetof(FakeFileHandle, Protocol) == 0, "handle casts back");

FakeFirmware &F() { return FakeFirmware::Current(); }

std::string Hex(UINT64 Value) {
  char Text[32];
  std::snprintf(Text, sizeof(Text), "0x%llX", static_cast<unsigned long long>(Value));
  return Text;
}

bool SameGuid(const EFI_GUID *A, const EFI_GUID &B) { return std::memcmp(A, &B, sizeof(B)) == 0; }

std::string GuidName(const EFI_GUID *Guid) {
  if (Guid == nullptr) return "null";
  if (SameGuid(Guid, gEfiGraphicsOutputProtocolGuid)) return "GraphicsOutput";
  if (SameGuid(Guid, gEfiSimpleFileSystemProtocolGuid)) return "SimpleFileSystem";
  if (SameGuid(Guid, gEfiFileInfoGuid)) return "FileInfo";
  if (SameGuid(Guid, gEfiShellProtocolGuid)) return "Shell";
  if (SameGuid(Guid, gEfiShellParametersProtocolGuid)) return "ShellParameters";
  if (SameGuid(Guid, gEfiShellInterfaceGuid)) return "ShellInterface";
  if (SameGuid(Guid, gEfiShellEnvironment2Guid)) return "ShellEnvironment2";
  if (SameGuid(Guid, gEfiSimpleTextInputExProtocolGuid)) return "SimpleTextInputEx";
  if (SameGuid(Guid, gEfiLoadedImageProtocolGuid)) return "LoadedImage";
  if (SameGuid(Guid, gEfiDevicePathProtocolGuid)) return "DevicePath";
  if (SameGuid(Guid, gEfiFileSystemInfoGuid)) return "FileSystemInfo";
  return "other";
}

std::string Upper(std::string Text) {
  for (char &C : Text) C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Text;
}

FakeFileHandle *AsHandle(EFI_FILE_PROTOCOL *This) {
  auto *Handle = reinterpret_cast<FakeFileHandle *>(This);
  if (F().Handles.count(Handle) == 0) {
    F().Faults.push_back("call on a closed or unknown file handle");
    return nullptr;
  }
  return Handle;
}

// --- boot services ----------------------------------------------------------

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE Type, UINTN Size, VOID **Buffer) {
  EFI_STATUS Injected;
  if (F().Enter("AllocatePool", std::to_string(Size), &Injected)) return Injected;
  if (Type != EfiBootServicesData) F().Faults.push_back("pool of another memory type");
  void *Block = std::malloc(Size == 0 ? 1 : Size);
  std::memset(Block, 0xA5, Size);  // the command must zero what it relies on
  F().Pool[Block] = Size;
  F().PoolBytes += Size;
  F().PeakPoolBytes = std::max(F().PeakPoolBytes, F().PoolBytes);
  *Buffer = Block;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FreePool(VOID *Buffer) {
  EFI_STATUS Injected;
  const bool Fail = F().Enter("FreePool", F().Pool.count(Buffer) ? std::to_string(F().Pool[Buffer]) : "?", &Injected);
  auto Found = F().Pool.find(Buffer);
  if (Found == F().Pool.end()) {
    F().Faults.push_back("FreePool of a block not from the pool");
    return EFI_INVALID_PARAMETER;
  }
  F().PoolBytes -= Found->second;
  F().Pool.erase(Found);
  std::free(Buffer);
  return Fail ? Injected : EFI_SUCCESS;  // a failing free still releases: the caller cannot do more
}

EFI_STATUS EFIAPI Stall(UINTN Microseconds) {
  EFI_STATUS Injected;
  if (F().Enter("Stall", std::to_string(Microseconds), &Injected)) return Injected;
  return EFI_SUCCESS;
}

VOID *FindInterface(const VOID *Handle, const EFI_GUID *Guid) {
  FakeFirmware &Fw = F();
  const bool OnImage = Handle == Fw.ImageHandle();
  const bool OnShell = Handle == &Fw.ShellHandleTag;
  if (OnImage && SameGuid(Guid, gEfiShellParametersProtocolGuid) && Fw.Arguments == ArgumentKind::ShellParameters)
    return &Fw.Parameters;
  if (OnImage && SameGuid(Guid, gEfiShellInterfaceGuid) && Fw.Arguments == ArgumentKind::ShellInterface)
    return &Fw.ShellInterface;
  if (SameGuid(Guid, gEfiShellEnvironment2Guid) &&
      ((OnImage && Fw.Shell == ShellKind::Environment2OnImage) ||
       (OnShell && Fw.Shell == ShellKind::Environment2OnOtherHandle)))
    return &Fw.Environment2;
  if (OnImage && SameGuid(Guid, gEfiLoadedImageProtocolGuid)) return &Fw.LoadedImage;
  auto Image = Fw.Images.find(const_cast<VOID *>(Handle));
  if (Image != Fw.Images.end() && SameGuid(Guid, gEfiLoadedImageProtocolGuid)) return &Image->second.LoadedImage;
  if (Handle == &Fw.ConsoleInTag && Fw.HasConsoleInput && SameGuid(Guid, gEfiSimpleTextInputExProtocolGuid))
    return &Fw.TextInputEx;
  if (Handle == &Fw.ConsoleOutTag && Fw.HasGraphicsOutput && Fw.GraphicsOnConsoleOut && !Fw.NullGraphicsInterface &&
      SameGuid(Guid, gEfiGraphicsOutputProtocolGuid))
    return &Fw.Gop;
  for (size_t Index = 0; Fw.HasFileSystem && Index < Fw.VolumeCount; Index++)
    if (Handle == &Fw.Volumes[Index].HandleTag && SameGuid(Guid, gEfiSimpleFileSystemProtocolGuid))
      return &Fw.Volumes[Index].Protocol;
  for (size_t Index = 0; Index < Fw.VolumeCount; Index++)
    if (Handle == &Fw.Volumes[Index].HandleTag && SameGuid(Guid, gEfiDevicePathProtocolGuid))
      return Fw.Volumes[Index].DevicePath.data();
  return nullptr;
}

VOID *FindInstalled(const VOID *Handle, const EFI_GUID *Guid) {
  for (const auto &Entry : F().Installed)
    if ((Handle == nullptr || Entry.Handle == Handle) && SameGuid(Guid, Entry.Guid)) return Entry.Interface;
  return nullptr;
}

EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE *Handle, EFI_GUID *Protocol, EFI_INTERFACE_TYPE Type,
                                           VOID *Interface) {
  EFI_STATUS Injected;
  if (F().Enter("InstallProtocolInterface", GuidName(Protocol), &Injected)) return Injected;
  if (Handle == nullptr || *Handle == nullptr || Type != EFI_NATIVE_INTERFACE) return EFI_INVALID_PARAMETER;
  if (FindInstalled(*Handle, Protocol) != nullptr) return EFI_INVALID_PARAMETER;
  F().Installed.push_back({*Handle, *Protocol, Interface});
  return EFI_SUCCESS;
}

// cppcheck-suppress constParameter ; the firmware's signature
EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID *Interface) {
  EFI_STATUS Injected;
  if (F().Enter("UninstallProtocolInterface", GuidName(Protocol), &Injected)) return Injected;
  auto &List = F().Installed;
  for (auto Entry = List.begin(); Entry != List.end(); ++Entry)
    if (Entry->Handle == Handle && SameGuid(Protocol, Entry->Guid) && Entry->Interface == Interface) {
      List.erase(Entry);
      return EFI_SUCCESS;
    }
  F().Faults.push_back("uninstalling an interface that is not installed");
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE Handle, EFI_GUID *Protocol, VOID **Interface, EFI_HANDLE, EFI_HANDLE,
                               UINT32 Attributes) {
  EFI_STATUS Injected;
  if (F().Enter("OpenProtocol", GuidName(Protocol), &Injected)) return Injected;
  if (Attributes != EFI_OPEN_PROTOCOL_GET_PROTOCOL) F().Faults.push_back("OpenProtocol needs a CloseProtocol");
  VOID *Found = FindInterface(Handle, Protocol);
  if (Found == nullptr) Found = FindInstalled(Handle, Protocol);
  if (Found == nullptr) return EFI_UNSUPPORTED;
  *Interface = Found;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI LocateProtocol(EFI_GUID *Protocol, VOID *, VOID **Interface) {
  EFI_STATUS Injected;
  if (F().Enter("LocateProtocol", GuidName(Protocol), &Injected)) return Injected;
  FakeFirmware &Fw = F();
  if (SameGuid(Protocol, gEfiGraphicsOutputProtocolGuid) && Fw.HasGraphicsOutput) {
    *Interface = Fw.NullGraphicsInterface ? nullptr : &Fw.Gop;
    return EFI_SUCCESS;
  }
  if (SameGuid(Protocol, gEfiSimpleFileSystemProtocolGuid) && Fw.HasFileSystem) {
    *Interface = &Fw.Volumes[0].Protocol;
    return EFI_SUCCESS;
  }
  if (SameGuid(Protocol, gEfiShellProtocolGuid) && Fw.Shell == ShellKind::ShellProtocol) {
    *Interface = &Fw.ShellProtocol;
    return EFI_SUCCESS;
  }
  *Interface = FindInstalled(nullptr, Protocol);
  if (*Interface != nullptr) return EFI_SUCCESS;
  return EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE SearchType, EFI_GUID *Protocol, VOID *, UINTN *Count,
                                     EFI_HANDLE **Buffer) {
  EFI_STATUS Injected;
  if (F().Enter("LocateHandleBuffer", GuidName(Protocol), &Injected)) return Injected;
  if (SearchType != ByProtocol) return EFI_NOT_FOUND;
  std::vector<EFI_HANDLE> Found;
  if (SameGuid(Protocol, gEfiShellEnvironment2Guid)) {
    if (F().Shell == ShellKind::Environment2OnImage) Found.push_back(F().ImageHandle());
    if (F().Shell == ShellKind::Environment2OnOtherHandle) Found.push_back(&F().ShellHandleTag);
  }
  if (SameGuid(Protocol, gEfiSimpleFileSystemProtocolGuid) && F().HasFileSystem)
    for (size_t Index = 0; Index < F().VolumeCount; Index++) Found.push_back(&F().Volumes[Index].HandleTag);
  if (Found.empty()) return EFI_NOT_FOUND;
  VOID *Block = nullptr;
  const EFI_STATUS Status = AllocatePool(EfiBootServicesData, Found.size() * sizeof(EFI_HANDLE), &Block);
  if (EFI_ERROR(Status)) return Status;
  std::memcpy(Block, Found.data(), Found.size() * sizeof(EFI_HANDLE));
  *Count = Found.size();
  *Buffer = static_cast<EFI_HANDLE *>(Block);
  return EFI_SUCCESS;
}

// --- events -----------------------------------------------------------------

FakeEvent *FindEvent(EFI_EVENT Event) {
  auto Found = F().Events.find(Event);
  if (Found == F().Events.end()) {
    F().Faults.push_back("use of a closed or unknown event");
    return nullptr;
  }
  return &Found->second;
}

EFI_STATUS EFIAPI CreateEvent(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context, EFI_EVENT *Event) {
  EFI_STATUS Injected;
  if (F().Enter("CreateEvent", Hex(Type) + "," + std::to_string(Tpl), &Injected)) return Injected;
  const UINT32 Kind = Type & ~static_cast<UINT32>(EVT_TIMER);
  const bool Waited = Type == EVT_TIMER && Notify == nullptr;
  const bool Notified = (Kind == EVT_NOTIFY_SIGNAL || Kind == EVT_NOTIFY_WAIT) && Notify != nullptr &&
                        (Tpl == TPL_CALLBACK || Tpl == TPL_NOTIFY);
  if (!Waited && !Notified) return EFI_INVALID_PARAMETER;
  auto *Made = reinterpret_cast<EFI_EVENT>(F().NextHandleTag++);
  FakeEvent &Created = F().Events[Made] = FakeEvent{Tpl, Notify, Context};
  Created.Timer = (Type & EVT_TIMER) != 0;
  Created.Wait = Kind == EVT_NOTIFY_WAIT;
  *Event = Made;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI CloseEvent(EFI_EVENT Event) {
  EFI_STATUS Injected;
  const bool Fail = F().Enter("CloseEvent", "", &Injected);
  if (FindEvent(Event) == nullptr) return EFI_INVALID_PARAMETER;
  F().Events.erase(Event);
  auto &Notifications = F().ProtocolNotifications;
  Notifications.erase(std::remove_if(Notifications.begin(), Notifications.end(),
                                     [&](const std::pair<EFI_GUID, EFI_EVENT> &N) { return N.second == Event; }),
                      Notifications.end());
  return Fail ? Injected : EFI_SUCCESS;  // CloseEvent always closes
}

EFI_STATUS EFIAPI SetTimer(EFI_EVENT Event, EFI_TIMER_DELAY Type, UINT64 TriggerTime) {
  EFI_STATUS Injected;
  if (F().Enter("SetTimer", std::to_string(Type) + "," + std::to_string(TriggerTime), &Injected)) return Injected;
  FakeEvent *Found = FindEvent(Event);
  if (Found == nullptr || !Found->Timer) return EFI_INVALID_PARAMETER;
  Found->Armed = Type != TimerCancel;
  return EFI_SUCCESS;
}

// EDK II's CheckEvent: a wait event's function runs while it is not
// signalled; a signalled event ends the wait and is reset. The console
// input's WaitForKey is ready while a key is typed.
EFI_STATUS CheckWaited(FakeFirmware &Fw, EFI_EVENT Event) {
  if (Event == Fw.ConIn.WaitForKey) return Fw.TypedKeys.empty() ? EFI_NOT_READY : EFI_SUCCESS;
  auto Found = Fw.Events.find(Event);
  if (Found == Fw.Events.end() || (Found->second.Notify != nullptr && !Found->second.Wait)) {
    Fw.Faults.push_back(Found == Fw.Events.end() ? "a wait on an unknown event" : "a wait on an EVT_NOTIFY_SIGNAL event");
    return EFI_INVALID_PARAMETER;
  }
  if (Found->second.Wait && !Found->second.Signalled) {
    const FakeEvent Waited = Found->second;  // the function may close it
    Fw.CurrentTpl = Waited.Tpl;
    Waited.Notify(Event, Waited.Context);
    Fw.CurrentTpl = TPL_APPLICATION;
    Found = Fw.Events.find(Event);
  }
  if (Found == Fw.Events.end() || !Found->second.Signalled) return EFI_NOT_READY;
  Found->second.Signalled = false;
  return EFI_SUCCESS;
}

// While nothing waited on is ready, the person at the machine may type, then
// time passes and armed timers fire; a wait that nothing could end is a fault.
EFI_STATUS EFIAPI WaitForEvent(UINTN Count, EFI_EVENT *Events, UINTN *Index) {
  EFI_STATUS Injected;
  if (F().Enter("WaitForEvent", std::to_string(Count), &Injected)) return Injected;
  FakeFirmware &Fw = F();
  if (Fw.CurrentTpl != TPL_APPLICATION) return EFI_UNSUPPORTED;
  const bool OnKeyboard = std::find(Events, Events + Count, Fw.ConIn.WaitForKey) != Events + Count;
  for (int Round = 0; Round < 4; Round++) {
    for (UINTN At = 0; At < Count; At++) {
      const EFI_STATUS Status = CheckWaited(Fw, Events[At]);
      if (Status == EFI_NOT_READY) continue;
      if (!EFI_ERROR(Status)) *Index = At;
      return Status;
    }
    if (Round % 2 == 1) {
      Fw.ElapseTimers();
      continue;
    }
    if (Fw.OnIdleKeyboard) Fw.OnIdleKeyboard();
    if (Fw.KeyDuringWait && OnKeyboard && Fw.TypedKeys.empty()) Fw.TypedKeys.push_back({0, u' '});
  }
  Fw.Faults.push_back("a wait that nothing ends");
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI SignalEvent(EFI_EVENT Event) {
  EFI_STATUS Injected;
  if (F().Enter("SignalEvent", "", &Injected)) return Injected;
  if (FindEvent(Event) == nullptr) return EFI_INVALID_PARAMETER;
  F().Signal(Event);
  return EFI_SUCCESS;
}

EFI_TPL EFIAPI RaiseTpl(EFI_TPL Tpl) {
  const EFI_TPL Old = F().CurrentTpl;
  if (Tpl < Old) F().Faults.push_back("RaiseTPL to a lower TPL");
  F().CurrentTpl = Tpl;
  return Old;
}

VOID EFIAPI RestoreTpl(EFI_TPL Tpl) {
  if (Tpl > F().CurrentTpl) F().Faults.push_back("RestoreTPL to a higher TPL");
  F().CurrentTpl = Tpl;
}

EFI_STATUS EFIAPI RegisterProtocolNotify(EFI_GUID *Protocol, EFI_EVENT Event, VOID **Registration) {
  EFI_STATUS Injected;
  if (F().Enter("RegisterProtocolNotify", GuidName(Protocol), &Injected)) return Injected;
  if (FindEvent(Event) == nullptr) return EFI_INVALID_PARAMETER;
  F().ProtocolNotifications.push_back({*Protocol, Event});
  *Registration = Event;
  return EFI_SUCCESS;
}

// --- keyboard ---------------------------------------------------------------

EFI_STATUS EFIAPI RegisterKeyNotify(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *, EFI_KEY_DATA *Key,
                                    EFI_KEY_NOTIFY_FUNCTION Notify, VOID **Handle) {
  EFI_STATUS Injected;
  if (F().Enter("RegisterKeyNotify", Hex(Key->Key.ScanCode) + "," + Hex(Key->KeyState.KeyShiftState), &Injected))
    return Injected;
  if (Notify == nullptr || Handle == nullptr) return EFI_INVALID_PARAMETER;
  void *Made = reinterpret_cast<void *>(F().NextHandleTag++);
  F().KeyRegistrations[Made] = {*Key, Notify};
  *Handle = Made;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI UnregisterKeyNotify(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL *, VOID *Handle) {
  EFI_STATUS Injected;
  if (F().Enter("UnregisterKeyNotify", "", &Injected)) return Injected;
  if (F().KeyRegistrations.erase(Handle) == 0) {
    F().Faults.push_back("unregistering an unknown key notification");
    return EFI_INVALID_PARAMETER;
  }
  return EFI_SUCCESS;
}

// --- runtime services -------------------------------------------------------

EFI_STATUS EFIAPI GetTime(EFI_TIME *Time, EFI_TIME_CAPABILITIES *) {
  EFI_STATUS Injected;
  if (F().Enter("GetTime", "", &Injected)) return Injected;
  if (Time == nullptr) return EFI_INVALID_PARAMETER;
  *Time = F().Time;
  return EFI_SUCCESS;
}

// --- console ----------------------------------------------------------------

EFI_STATUS EFIAPI OutputString(SIMPLE_TEXT_OUTPUT_INTERFACE *, CHAR16 *String) {
  EFI_STATUS Injected;
  const std::u16string Text = FromUcs2(String);
  if (F().Enter("OutputString", Narrow(Text), &Injected)) return Injected;
  FakeFirmware &Fw = F();
  Fw.ConsoleText += Text;
  for (char16_t C : Text) {
    if (C == u'\r') {
      Fw.CursorColumn = 0;
    } else if (C == u'\n') {
      Fw.CursorRow = std::min(Fw.CursorRow + 1, FakeFirmware::kRows - 1);
    } else {
      Fw.Cells[Fw.CursorRow][Fw.CursorColumn] = {C, Fw.Attribute};
      if (++Fw.CursorColumn == FakeFirmware::kColumns) {
        Fw.CursorColumn = 0;
        Fw.CursorRow = std::min(Fw.CursorRow + 1, FakeFirmware::kRows - 1);
      }
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetAttribute(SIMPLE_TEXT_OUTPUT_INTERFACE *, UINTN Attribute) {
  EFI_STATUS Injected;
  if (F().Enter("SetAttribute", Hex(Attribute), &Injected)) return Injected;
  F().Attribute = Attribute;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetCursorPosition(SIMPLE_TEXT_OUTPUT_INTERFACE *, UINTN Column, UINTN Row) {
  EFI_STATUS Injected;
  if (F().Enter("SetCursorPosition", std::to_string(Column) + "," + std::to_string(Row), &Injected)) return Injected;
  if (Column >= FakeFirmware::kColumns || Row >= FakeFirmware::kRows) return EFI_UNSUPPORTED;
  F().CursorColumn = Column;
  F().CursorRow = Row;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ClearScreen(SIMPLE_TEXT_OUTPUT_INTERFACE *) {
  EFI_STATUS Injected;
  if (F().Enter("ClearScreen", "", &Injected)) return Injected;
  FakeFirmware &Fw = F();
  for (auto &Row : Fw.Cells)
    for (auto &Cell : Row) Cell = {u' ', Fw.Attribute};
  Fw.CursorColumn = Fw.CursorRow = 0;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI EnableCursor(SIMPLE_TEXT_OUTPUT_INTERFACE *, BOOLEAN Visible) {
  EFI_STATUS Injected;
  if (F().Enter("EnableCursor", Visible ? "TRUE" : "FALSE", &Injected)) return Injected;
  F().CursorVisible = Visible;
  return EFI_SUCCESS;
}

// --- graphics ---------------------------------------------------------------

EFI_STATUS EFIAPI Blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *, EFI_GRAPHICS_OUTPUT_BLT_PIXEL *Buffer,
                      EFI_GRAPHICS_OUTPUT_BLT_OPERATION Operation, UINTN SourceX, UINTN SourceY, UINTN DestinationX,
                      UINTN DestinationY, UINTN Width, UINTN Height, UINTN Delta) {
  EFI_STATUS Injected;
  if (F().Enter("Blt", std::to_string(Operation) + "," + std::to_string(SourceX) + "," + std::to_string(SourceY) +
                           "," + std::to_string(DestinationX) + "," + std::to_string(DestinationY) + "," +
                           std::to_string(Width) + "x" + std::to_string(Height) + "," + std::to_string(Delta),
                &Injected))
    return Injected;
  FakeFirmware &Fw = F();
  if (Width == 0 || Height == 0 || Buffer == nullptr) return EFI_INVALID_PARAMETER;
  const UINTN Stride = Delta == 0 ? Width * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL) : Delta;
  auto BufferLine = [&](UINTN X, UINTN Y) {
    return reinterpret_cast<UINT8 *>(Buffer) + Y * Stride + X * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL);
  };
  switch (Operation) {
    case EfiBltVideoToBltBuffer:
      if (SourceX + Width > Fw.ScreenWidth || SourceY + Height > Fw.ScreenHeight) return EFI_INVALID_PARAMETER;
      for (UINTN Row = 0; Row < Height; Row++)
        std::memcpy(BufferLine(DestinationX, DestinationY + Row), &Fw.Screen[(SourceY + Row) * Fw.ScreenWidth + SourceX],
                    Width * 4);
      return EFI_SUCCESS;
    case EfiBltBufferToVideo:
    case EfiBltVideoFill:
      if (DestinationX + Width > Fw.ScreenWidth || DestinationY + Height > Fw.ScreenHeight)
        return EFI_INVALID_PARAMETER;
      for (UINTN Row = 0; Row < Height; Row++)
        for (UINTN Column = 0; Column < Width; Column++)
          std::memcpy(&Fw.Screen[(DestinationY + Row) * Fw.ScreenWidth + DestinationX + Column],
                      Operation == EfiBltVideoFill ? static_cast<const void *>(Buffer)
                                                   : BufferLine(SourceX + Column, SourceY + Row),
                      4);
      return EFI_SUCCESS;
    default:
      return EFI_UNSUPPORTED;
  }
}

// --- files ------------------------------------------------------------------

EFI_STATUS EFIAPI FileOpen(EFI_FILE_PROTOCOL *, EFI_FILE_PROTOCOL **, CHAR16 *, UINT64, UINT64);
EFI_STATUS EFIAPI FileClose(EFI_FILE_PROTOCOL *);
EFI_STATUS EFIAPI FileDelete(EFI_FILE_PROTOCOL *);
EFI_STATUS EFIAPI FileRead(EFI_FILE_PROTOCOL *, UINTN *, VOID *) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI FileWrite(EFI_FILE_PROTOCOL *, UINTN *, VOID *);
EFI_STATUS EFIAPI FileGetInfo(EFI_FILE_PROTOCOL *, EFI_GUID *, UINTN *, VOID *);
EFI_STATUS EFIAPI FileSetInfo(EFI_FILE_PROTOCOL *, EFI_GUID *, UINTN, VOID *);
EFI_STATUS EFIAPI FileFlush(EFI_FILE_PROTOCOL *);

EFI_FILE_PROTOCOL *NewHandle(FakeVolume *Volume, const std::string &Path) {
  auto *Handle = new FakeFileHandle();
  Handle->Volume = Volume;
  Handle->Path = Path;
  EFI_FILE_PROTOCOL &P = Handle->Protocol;
  P.Revision = EFI_FILE_PROTOCOL_REVISION;
  P.Open = FileOpen;
  P.Close = FileClose;
  P.Delete = FileDelete;
  P.Read = FileRead;
  P.Write = FileWrite;
  P.GetInfo = FileGetInfo;
  P.SetInfo = FileSetInfo;
  P.Flush = FileFlush;
  F().Handles.insert(Handle);
  return &Handle->Protocol;
}

void ReleaseHandle(FakeFileHandle *Handle) {
  F().Handles.erase(Handle);
  delete Handle;
}

EFI_STATUS EFIAPI OpenVolume(EFI_FILE_IO_INTERFACE *This, EFI_FILE_PROTOCOL **Root) {
  EFI_STATUS Injected;
  if (F().Enter("OpenVolume", "", &Injected)) return Injected;
  const EFI_FILE_IO_INTERFACE *FileSystem = This;
  for (FakeVolume &Volume : F().Volumes)
    if (FileSystem == &Volume.Protocol) {
      *Root = NewHandle(&Volume, "");
      return EFI_SUCCESS;
    }
  F().Faults.push_back("OpenVolume on an unknown file system");
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI FileOpen(EFI_FILE_PROTOCOL *This, EFI_FILE_PROTOCOL **New, CHAR16 *Name, UINT64 Mode,
                           UINT64 Attributes) {
  EFI_STATUS Injected;
  const std::u16string Text = FromUcs2(Name);
  if (F().Enter("Open", Narrow(Text) + "," + Hex(Mode) + "," + Hex(Attributes), &Injected)) return Injected;
  FakeFileHandle *Base = AsHandle(This);
  if (Base == nullptr) return EFI_INVALID_PARAMETER;
  const FakeFirmware &Fw = F();
  bool Valid = false;
  const std::string Path = Fw.ResolvePath(Base->Path, Text, &Valid);
  if (!Valid) return EFI_INVALID_PARAMETER;
  FakeVolume &Volume = *Base->Volume;
  const std::string Parent = Path.substr(0, Path.rfind('\\'));
  const auto ParentFile = Volume.Files.find(Parent);
  if (!Parent.empty() && (ParentFile == Volume.Files.end() || !ParentFile->second.IsDirectory)) return EFI_NOT_FOUND;
  const bool Writing = (Mode & EFI_FILE_MODE_WRITE) != 0;
  if (Volume.Files.count(Path) == 0) {
    if ((Mode & EFI_FILE_MODE_CREATE) == 0) return EFI_NOT_FOUND;
    if (Volume.ReadOnly) return EFI_WRITE_PROTECTED;
    Volume.Files[Path] = FakeFile{(Attributes & EFI_FILE_DIRECTORY) != 0, {}};
  } else if (Writing && Volume.ReadOnly) {
    return EFI_WRITE_PROTECTED;
  }
  *New = NewHandle(&Volume, Path);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileClose(EFI_FILE_PROTOCOL *This) {
  EFI_STATUS Injected;
  const bool Fail = F().Enter("Close", "", &Injected);
  FakeFileHandle *Handle = AsHandle(This);
  if (Handle == nullptr) return EFI_INVALID_PARAMETER;
  ReleaseHandle(Handle);
  return Fail ? Injected : EFI_SUCCESS;  // Close always closes
}

EFI_STATUS EFIAPI FileDelete(EFI_FILE_PROTOCOL *This) {
  EFI_STATUS Injected;
  const bool Fail = F().Enter("Delete", "", &Injected);
  FakeFileHandle *Handle = AsHandle(This);
  if (Handle == nullptr) return EFI_INVALID_PARAMETER;
  if (!Fail) Handle->Volume->Files.erase(Handle->Path);
  ReleaseHandle(Handle);  // Delete closes the handle whatever happens
  return Fail ? EFI_WARN_DELETE_FAILURE : EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileWrite(EFI_FILE_PROTOCOL *This, UINTN *Size, VOID *Buffer) {
  EFI_STATUS Injected;
  if (F().Enter("Write", std::to_string(*Size), &Injected)) return Injected;
  FakeFileHandle *Handle = AsHandle(This);
  if (Handle == nullptr) return EFI_INVALID_PARAMETER;
  FakeVolume &Volume = *Handle->Volume;
  FakeFile &File = Volume.Files[Handle->Path];
  if (File.IsDirectory) return EFI_UNSUPPORTED;
  if (*Size != 0 && Buffer == nullptr) return EFI_INVALID_PARAMETER;
  UINTN Count = Volume.ShortWrites ? *Size / 2 : *Size;
  bool Full = false;
  if (Handle->Position + Count > Volume.FreeBytes) {
    Count = Volume.FreeBytes > Handle->Position ? Volume.FreeBytes - Handle->Position : 0;
    Full = true;
  }
  if (File.Data.size() < Handle->Position + Count) File.Data.resize(Handle->Position + Count);
  if (Count != 0) std::memcpy(File.Data.data() + Handle->Position, Buffer, Count);
  Handle->Position += Count;
  *Size = Count;
  return Full ? EFI_VOLUME_FULL : EFI_SUCCESS;
}

// EFI_FILE_SYSTEM_INFO in UEFI's layout, which is the host's.
EFI_STATUS FileSystemInfo(const FakeVolume &Volume, UINTN *Size, VOID *Buffer) {
  const UINTN Needed = offsetof(EFI_FILE_SYSTEM_INFO, VolumeLabel) + (Volume.Label.size() + 1) * sizeof(CHAR16);
  if (*Size < Needed) {
    *Size = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  auto *Info = static_cast<EFI_FILE_SYSTEM_INFO *>(Buffer);
  std::memset(Info, 0, Needed);
  Info->Size = Needed;
  Info->ReadOnly = Volume.ReadOnly;
  Info->VolumeSize = 64 << 20;
  Info->FreeSpace = std::min<UINT64>(Volume.FreeBytes, 62 << 20);
  Info->BlockSize = 512;
  std::copy(Volume.Label.begin(), Volume.Label.end(), Info->VolumeLabel);
  *Size = Needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileGetInfo(EFI_FILE_PROTOCOL *This, EFI_GUID *Type, UINTN *Size, VOID *Buffer) {
  EFI_STATUS Injected;
  if (F().Enter("GetInfo", GuidName(Type) + "," + std::to_string(*Size), &Injected)) return Injected;
  FakeFileHandle *Handle = AsHandle(This);
  if (Handle != nullptr && SameGuid(Type, gEfiFileSystemInfoGuid)) return FileSystemInfo(*Handle->Volume, Size, Buffer);
  if (Handle == nullptr || !SameGuid(Type, gEfiFileInfoGuid)) return EFI_UNSUPPORTED;
  const FakeFile &File = Handle->Volume->Files[Handle->Path];
  const std::string Name = Handle->Path.substr(Handle->Path.rfind('\\') + 1);
  const UINTN Needed = offsetof(EFI_FILE_INFO, FileName) + (Name.size() + 1) * sizeof(CHAR16);
  if (*Size < Needed) {
    *Size = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  auto *Info = static_cast<EFI_FILE_INFO *>(Buffer);
  std::memset(Info, 0, Needed);
  Info->Size = Needed;
  Info->FileSize = File.Data.size();
  Info->PhysicalSize = File.Data.size();
  Info->Attribute = File.IsDirectory ? EFI_FILE_DIRECTORY : EFI_FILE_ARCHIVE;
  for (size_t Index = 0; Index < Name.size(); Index++) Info->FileName[Index] = static_cast<CHAR16>(Name[Index]);
  *Size = Needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileSetInfo(EFI_FILE_PROTOCOL *This, EFI_GUID *Type, UINTN Size, VOID *Buffer) {
  EFI_STATUS Injected;
  if (F().Enter("SetInfo", GuidName(Type) + "," + std::to_string(Size), &Injected)) return Injected;
  FakeFileHandle *Handle = AsHandle(This);
  if (Handle == nullptr || !SameGuid(Type, gEfiFileInfoGuid)) return EFI_UNSUPPORTED;
  const auto *Info = static_cast<const EFI_FILE_INFO *>(Buffer);
  if (Size < offsetof(EFI_FILE_INFO, FileName) || Info->Size > Size) return EFI_BAD_BUFFER_SIZE;
  FakeFile &File = Handle->Volume->Files[Handle->Path];
  if (File.IsDirectory) return EFI_ACCESS_DENIED;
  File.Data.resize(Info->FileSize);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FileFlush(EFI_FILE_PROTOCOL *This) {
  EFI_STATUS Injected;
  if (F().Enter("Flush", "", &Injected)) return Injected;
  return AsHandle(This) == nullptr ? EFI_INVALID_PARAMETER : EFI_SUCCESS;
}

// --- shell ------------------------------------------------------------------

CONST CHAR16 *EFIAPI GetCurDir(CONST CHAR16 *) {
  EFI_STATUS Injected;
  if (F().Enter("GetCurDir", "", &Injected) || !F().HasCurrentDir) return nullptr;
  F().CurrentDirStorage = Ucs2(F().CurrentDir);
  return F().CurrentDirStorage.data();
}

CHAR16 *EFIAPI CurDir(CHAR16 *) {
  EFI_STATUS Injected;
  if (F().Enter("CurDir", "", &Injected) || !F().HasCurrentDir) return nullptr;
  const std::vector<CHAR16> Text = Ucs2(F().CurrentDir);
  VOID *Block = nullptr;
  if (EFI_ERROR(AllocatePool(EfiBootServicesData, Text.size() * sizeof(CHAR16), &Block))) return nullptr;
  std::memcpy(Block, Text.data(), Text.size() * sizeof(CHAR16));
  return static_cast<CHAR16 *>(Block);  // the caller owns it
}

}  // namespace

// --- the firmware -----------------------------------------------------------

FakeFirmware::FakeFirmware() {
  Previous = gCurrent;
  gCurrent = this;
  St.Hdr.Signature = EFI_SYSTEM_TABLE_SIGNATURE;
  St.Hdr.Revision = (2 << 16) | 70;
  St.FirmwareVendor = VendorStorage.data();
  St.FirmwareRevision = 0x00010000;
  St.ConOut = &ConOut;
  St.ConsoleInHandle = &ConsoleInTag;
  St.ConsoleOutHandle = &ConsoleOutTag;
  St.BootServices = &Bs;
  St.RuntimeServices = &Rt;
  Rt.GetTime = fake::GetTime;
  Bs.CreateEvent = CreateEvent;
  Bs.CloseEvent = CloseEvent;
  Bs.SignalEvent = SignalEvent;
  Bs.SetTimer = SetTimer;
  Bs.WaitForEvent = WaitForEvent;
  Bs.RaiseTPL = RaiseTpl;
  Bs.RestoreTPL = RestoreTpl;
  Bs.RegisterProtocolNotify = RegisterProtocolNotify;
  TextInputEx.RegisterKeyNotify = RegisterKeyNotify;
  TextInputEx.UnregisterKeyNotify = UnregisterKeyNotify;
  Bs.AllocatePool = AllocatePool;
  Bs.FreePool = fake::FreePool;
  Bs.Stall = fake::Stall;
  Bs.OpenProtocol = OpenProtocol;
  Bs.InstallProtocolInterface = InstallProtocolInterface;
  Bs.UninstallProtocolInterface = UninstallProtocolInterface;
  Bs.LocateProtocol = LocateProtocol;
  Bs.LocateHandleBuffer = LocateHandleBuffer;
  ConOut.OutputString = OutputString;
  ConOut.SetAttribute = SetAttribute;
  ConOut.SetCursorPosition = SetCursorPosition;
  ConOut.ClearScreen = ClearScreen;
  ConOut.EnableCursor = EnableCursor;
  ConOut.Mode = &ConOutMode;
  Gop.Blt = fake::Blt;
  Gop.Mode = &GopMode;
  GopMode.Info = &GopInfo;
  for (size_t Index = 0; Index < kMaxVolumes; Index++) {
    Volumes[Index].Protocol.Revision = EFI_FILE_IO_INTERFACE_REVISION;
    Volumes[Index].Protocol.OpenVolume = OpenVolume;
    // Pci(0x<Index + 1>,0x0), then the end.
    Volumes[Index].DevicePath = {HARDWARE_DEVICE_PATH, HW_PCI_DP, 6, 0, 0, static_cast<UINT8>(Index + 1),
                                 END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0};
  }
  WireImageServices(*this);
  ShellProtocol.GetCurDir = GetCurDir;
  Environment2.CurDir = fake::CurDir;
  Environment2.SESGuid = gEfiShellEnvironment2ExtGuid;
  Environment2.MajorVersion = 1;
  SetScreenSize(ScreenWidth, ScreenHeight);
  // QEMU's clock: BCD, 24-hour, 2024-01-15 10:30:45.
  Cmos[0x00] = 0x45;
  Cmos[0x02] = 0x30;
  Cmos[0x04] = 0x10;
  Cmos[0x07] = 0x15;
  Cmos[0x08] = 0x01;
  Cmos[0x09] = 0x24;
  gST = &St;
  gBS = &Bs;
  gRT = &Rt;
  gImageHandle = ImageHandle();
}

FakeFirmware::~FakeFirmware() {
  for (void *Handle : std::set<void *>(Handles)) delete static_cast<FakeFileHandle *>(Handle);
  for (auto &Block : Pool) std::free(Block.first);
  gCurrent = Previous;
  gST = Previous ? &Previous->St : nullptr;
  gBS = Previous ? &Previous->Bs : nullptr;
  gRT = Previous ? &Previous->Rt : nullptr;
  gImageHandle = Previous ? Previous->ImageHandle() : nullptr;
}

FakeFirmware &FakeFirmware::Current() {
  if (gCurrent == nullptr) std::abort();
  return *gCurrent;
}

bool FakeFirmware::Enter(const std::string &Kind, const std::string &Detail, EFI_STATUS *Injected) {
  // Arguments are set up lazily so that tests can change them after construction.
  if (Kind == "OpenProtocol" && ArgumentPointers.empty()) {
    for (const auto &Argument : ArgumentList) ArgumentStorage.push_back(Ucs2(Argument));
    for (auto &Argument : ArgumentStorage) ArgumentPointers.push_back(Argument.data());
    ArgumentPointers.push_back(nullptr);
    Parameters.Argc = ArgumentList.size();
    Parameters.Argv = ArgumentPointers.data();
    ShellInterface.Argc = ArgumentList.size();
    ShellInterface.Argv = ArgumentPointers.data();
  }
  Calls.push_back(Kind + "(" + Detail + ")");
  // A key notification runs inside the keyboard driver: it may only signal.
  // File systems and the clock take their locks at TPL_CALLBACK.
  static const std::set<std::string> kUpToCallback = {"OpenVolume", "Open",    "Close",   "Delete", "Write",
                                                      "Flush",      "GetInfo", "SetInfo", "GetTime"};
  if (InKeyNotification && Kind != "SignalEvent") Faults.push_back(Kind + " from a key notification");
  if (CurrentTpl > TPL_CALLBACK && kUpToCallback.count(Kind) != 0) Faults.push_back(Kind + " above TPL_CALLBACK");
  const unsigned Count = ++KindCounts[Kind];
  if (OnCall) OnCall(Calls.back());
  for (const Injection &Rule : Injections) {
    if ((Rule.Kind.empty() && Rule.Nth == Calls.size()) || (Rule.Kind == Kind && Rule.Nth == Count)) {
      *Injected = Rule.Status;
      FailedCall = Calls.back();
      return true;
    }
  }
  return false;
}

void FakeFirmware::FailCall(const std::string &Kind, unsigned Nth, EFI_STATUS Status) {
  Injections.push_back({Kind, Nth, Status});
}

void FakeFirmware::FailNthCall(unsigned Nth, EFI_STATUS Status) { Injections.push_back({"", Nth, Status}); }

std::vector<std::string> FakeFirmware::CallsOf(const std::string &Kind) const {
  std::vector<std::string> Found;
  for (const std::string &Call : Calls)
    if (Call.compare(0, Kind.size() + 1, Kind + "(") == 0) Found.push_back(Call);
  return Found;
}

void FakeFirmware::SetScreenSize(UINT32 Width, UINT32 Height) {
  ScreenWidth = Width;
  ScreenHeight = Height;
  Screen.assign(static_cast<size_t>(Width) * Height, 0);
  GopInfo.HorizontalResolution = Width;
  GopInfo.VerticalResolution = Height;
  GopInfo.PixelsPerScanLine = Width;
}

void FakeFirmware::PaintScreen() {
  for (UINT32 Y = 0; Y < ScreenHeight; Y++)
    for (UINT32 X = 0; X < ScreenWidth; X++)
      Screen[static_cast<size_t>(Y) * ScreenWidth + X] = 0xFF000000u | ((X & 0xFF) << 16) | ((Y & 0xFF) << 8) |
                                                       (((X >> 8) + (Y >> 8) * 16 + 1) & 0xFF);
}

void FakeFirmware::AddDirectory(const std::string &Path, size_t VolumeIndex) {
  Volumes[VolumeIndex].Files[Upper(Path)] = FakeFile{true, {}};
}

void FakeFirmware::AddFile(const std::string &Path, std::vector<UINT8> Data, size_t VolumeIndex) {
  Volumes[VolumeIndex].Files[Upper(Path)] = FakeFile{false, std::move(Data)};
}

const FakeFile *FakeFirmware::FindFile(const std::string &Path, size_t VolumeIndex) const {
  const auto &Files = Volumes[VolumeIndex].Files;
  auto Found = Files.find(Upper(Path));
  return Found == Files.end() ? nullptr : &Found->second;
}

std::vector<std::string> FakeFirmware::FileNames(size_t VolumeIndex) const {
  std::vector<std::string> Names;
  for (const auto &Entry : Volumes[VolumeIndex].Files)
    if (!Entry.second.IsDirectory) Names.push_back(Entry.first);
  return Names;
}

void FakeFirmware::PressKey(UINT16 ScanCode, UINT32 ShiftState, KeyArrival When, unsigned Times) {
  EFI_KEY_DATA Pressed = {};
  Pressed.Key.ScanCode = ScanCode;
  Pressed.KeyState.KeyShiftState = ShiftState;
  const bool Deferred = When == KeyArrival::Late && Dispatching;
  for (unsigned Press = 0; Press < Times; Press++) (Deferred ? LateKeys : PendingKeys).push_back(Pressed);
  if (When == KeyArrival::AtOnce) {
    const EFI_TPL Interrupted = CurrentTpl;
    CurrentTpl = TPL_NOTIFY;
    DeliverKeys();
    CurrentTpl = Interrupted;
  } else if (!Deferred && std::find(Queue.begin(), Queue.end(), KeyDelivery) == Queue.end()) {
    Queue.push_back(KeyDelivery);
  }
  DispatchEvents();
}

// EDK II's matching: scan code and character equal; a shift or toggle state
// of 0 in the registration matches any, otherwise it must be equal.
void FakeFirmware::DeliverKeys() {
  for (; !PendingKeys.empty(); PendingKeys.pop_front()) {
    EFI_KEY_DATA Pressed = PendingKeys.front();
    std::vector<EFI_KEY_NOTIFY_FUNCTION> Matching;
    for (const auto &Entry : KeyRegistrations) {
      const EFI_KEY_DATA &Key = Entry.second.Key;
      if (Key.Key.ScanCode == Pressed.Key.ScanCode && Key.Key.UnicodeChar == 0 &&
          (Key.KeyState.KeyShiftState == 0 || Key.KeyState.KeyShiftState == Pressed.KeyState.KeyShiftState))
        Matching.push_back(Entry.second.Notify);
    }
    InKeyNotification = true;
    for (EFI_KEY_NOTIFY_FUNCTION Notify : Matching) Notify(&Pressed);
    InKeyNotification = false;
  }
}

void FakeFirmware::ConnectConsoleInput() {
  HasConsoleInput = true;
  for (const auto &Notification : ProtocolNotifications)
    if (SameGuid(&Notification.first, gEfiSimpleTextInputExProtocolGuid)) Signal(Notification.second);
  DispatchEvents();
}

bool FakeFirmware::ElapseTimers() {
  bool Fired = false;
  for (auto &Entry : Events) {
    if (!Entry.second.Timer || !Entry.second.Armed) continue;
    Entry.second.Armed = false;
    Fired = true;
    Signal(Entry.first);
  }
  DispatchEvents();
  return Fired;
}

// Only a notify-signal event's function is queued; the others end a wait.
void FakeFirmware::Signal(EFI_EVENT Event) {
  FakeEvent &Found = Events[Event];
  if (Found.Signalled) return;
  Found.Signalled = true;
  if (Found.Notify != nullptr && !Found.Wait) Queue.push_back(Event);
}

void FakeFirmware::DispatchEvents() {
  if (Dispatching) return;
  Dispatching = true;
  while (!Queue.empty()) {
    const EFI_EVENT Next = Queue.front();
    Queue.pop_front();
    CurrentTpl = TPL_CALLBACK;
    if (Next == KeyDelivery) {
      DeliverKeys();
    } else if (Events.count(Next) != 0 && Events[Next].Signalled) {  // a closed event is gone from the queue too
      Events[Next].Signalled = false;
      const FakeEvent Event = Events[Next];  // the function may close it
      CurrentTpl = Event.Tpl;
      Event.Notify(Next, Event.Context);
    }
    CurrentTpl = TPL_APPLICATION;
    if (!LateKeys.empty()) {
      PendingKeys.insert(PendingKeys.end(), LateKeys.begin(), LateKeys.end());
      LateKeys.clear();
      Queue.push_back(KeyDelivery);
    }
  }
  Dispatching = false;
}

// FAT-like: case-insensitive, empty components (doubled backslashes) skipped.
std::string FakeFirmware::ResolvePath(const std::string &Base, const std::u16string &Name, bool *Valid) const {
  std::string Path = (!Name.empty() && Name[0] == u'\\') ? "" : Base;
  std::string Component;
  *Valid = true;
  auto Flush = [&]() {
    if (!Component.empty()) Path += "\\" + Upper(Component);
    Component.clear();
  };
  for (char16_t C : Name) {
    if (C == u'\\') {
      Flush();
    } else if (C < 0x20 || C > 0x7E || C == u':' || C == u'*' || C == u'?') {
      *Valid = false;
    } else {
      Component += static_cast<char>(C);
    }
  }
  Flush();
  return Path;
}

std::u16string FakeFirmware::RowText(UINTN Row) const {
  std::u16string Text;
  for (const ConsoleCell &Cell : Cells[Row]) Text += Cell.Character;
  return Text.substr(0, Text.find_last_not_of(u' ') + 1);
}

std::vector<CHAR16> Ucs2(const std::u16string &Text) {
  std::vector<CHAR16> Out(Text.begin(), Text.end());
  Out.push_back(0);
  return Out;
}

std::u16string FromUcs2(const CHAR16 *Text) {
  std::u16string Out;
  for (; Text != nullptr && *Text != 0; Text++) Out += static_cast<char16_t>(*Text);
  return Out;
}

std::string Narrow(const std::u16string &Text) {
  std::string Out;
  for (char16_t C : Text) Out += C < 0x80 ? static_cast<char>(C) : '?';
  return Out;
}

}  // namespace fake

// The host's port I/O: a CMOS clock in memory.
VOID IoWrite8(UINT16 Port, UINT8 Value) {
  fake::FakeFirmware &Fw = fake::FakeFirmware::Current();
  Fw.PortWrites.push_back({Port, Value});
  if (Port == kCmosIndexPort) Fw.CmosIndex = Value;
}

UINT8 IoRead8(UINT16 Port) {
  const fake::FakeFirmware &Fw = fake::FakeFirmware::Current();
  return Port == kCmosDataPort ? Fw.Cmos[Fw.CmosIndex & 0x7F] : 0xFF;
}

// A fake UEFI firmware for the host tests: the real C tables (system table,
// boot and runtime services, console, Simple Text Input Ex, Graphics Output,
// Simple File System and File protocols, shell protocols, events) filled with
// functions that act on memory, record every call and fail any call on
// request.
//
// One instance at a time: the constructor points gST, gBS and gImageHandle at
// it and the destructor gives them back to the firmware made before it (or
// clears them), so no test sees another's firmware.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Efi.h"
#include "platform/Shell.h"

namespace fake {

// A UCS-2 string for the command from a UTF-16 literal.
std::vector<CHAR16> Ucs2(const std::u16string &Text);

// Which shell the command finds.
enum class ShellKind { None, ShellProtocol, Environment2OnImage, Environment2OnOtherHandle };
// How the shell hands over the arguments.
enum class ArgumentKind { None, ShellParameters, ShellInterface };

struct FakeFile {
  bool IsDirectory = false;
  std::vector<UINT8> Data;
};

// One Simple File System volume, in the firmware's handle order.
struct FakeVolume {
  std::map<std::string, FakeFile> Files;  // by upper-case path ("\EFI\TOOLS")
  bool ReadOnly = false;
  UINT64 FreeBytes = UINT64_MAX;  // a write beyond this fails with EFI_VOLUME_FULL
  bool ShortWrites = false;       // Write reports success for half the bytes
  std::u16string Label = u"VISTREL";
  std::vector<UINT8> DevicePath;  // set by the firmware: a PCI node and the end
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL Protocol = {};
  int HandleTag = 0;
};

struct FakeEvent {
  EFI_TPL Tpl;
  EFI_EVENT_NOTIFY Notify;
  VOID *Context;
  bool Signalled = false;
  bool Timer = false;  // EVT_TIMER: waited on, or with a function signalled when it fires
  bool Armed = false;
  bool Wait = false;   // EVT_NOTIFY_WAIT: its function runs while it is waited on and not signalled
};

// An image LoadImage made: its Loaded Image protocol on a handle of its own.
struct FakeImage {
  EFI_LOADED_IMAGE_PROTOCOL LoadedImage = {};
  std::string Path;  // the device path LoadImage was given, as text
};

struct ConsoleCell {
  char16_t Character = u' ';
  UINTN Attribute = 0;
};

class FakeFirmware {
 public:
  FakeFirmware();
  ~FakeFirmware();
  FakeFirmware(const FakeFirmware &) = delete;
  FakeFirmware &operator=(const FakeFirmware &) = delete;

  static FakeFirmware &Current();

  // --- set-up -------------------------------------------------------------
  ShellKind Shell = ShellKind::ShellProtocol;
  ArgumentKind Arguments = ArgumentKind::ShellParameters;
  std::vector<std::u16string> ArgumentList = {u"vistrel.efi"};
  bool HasCurrentDir = true;        // false: the shell reports none (null)
  std::u16string CurrentDir = u"FS0:";
  bool HasGraphicsOutput = true;
  bool NullGraphicsInterface = false;  // found, but the interface pointer is null
  UINT32 ScreenWidth = 1024;
  UINT32 ScreenHeight = 768;
  std::vector<UINT32> Screen;       // BGRx, row after row; sized by the constructor
  bool GraphicsOnConsoleOut = true;  // the console output handle carries the Graphics Output
  bool HasConsoleInput = true;       // the console input handle carries Simple Text Input Ex
  bool HasFileSystem = true;
  UINT8 Cmos[128] = {};
  EFI_TIME Time = {2024, 1, 15, 10, 30, 45, 0, 0, 0, 0, 0};  // what GetTime gives
  std::vector<CHAR16> VendorStorage = Ucs2(u"Fake Firmware");  // the system table's FirmwareVendor

  // The volumes; the first is the one LocateProtocol finds, and Volume,
  // ReadOnlyVolume, FreeBytes and ShortWrites are its.
  static constexpr size_t kMaxVolumes = 3;
  FakeVolume Volumes[kMaxVolumes];
  size_t VolumeCount = 1;
  std::map<std::string, FakeFile> &Volume = Volumes[0].Files;
  bool &ReadOnlyVolume = Volumes[0].ReadOnly;
  UINT64 &FreeBytes = Volumes[0].FreeBytes;
  bool &ShortWrites = Volumes[0].ShortWrites;
  void AddDirectory(const std::string &Path, size_t VolumeIndex = 0);
  void AddFile(const std::string &Path, std::vector<UINT8> Data, size_t VolumeIndex = 0);
  const FakeFile *FindFile(const std::string &Path, size_t VolumeIndex = 0) const;
  std::vector<std::string> FileNames(size_t VolumeIndex = 0) const;  // regular files only

  // --- images, variables, console input ------------------------------------
  // What LoadImage does once it has found the file: EFI_SUCCESS, or refuse
  // with this status (EFI_SECURITY_VIOLATION still makes a handle, as EDK II does).
  EFI_STATUS LoadImageVerdict = EFI_SUCCESS;
  // The started image's entry; the image stays loaded when it succeeds.
  std::function<EFI_STATUS(EFI_HANDLE Image)> ImageEntry = [](EFI_HANDLE) { return EFI_SUCCESS; };
  bool ExitDataOnError = false;  // a failing entry hands back exit data in pool
  std::map<EFI_HANDLE, FakeImage> Images;  // loaded and not unloaded
  std::vector<std::string> LoadedPaths;    // every path LoadImage was given
  // By name, for any vendor GUID, or by "name@<the GUID's Data1 in decimal>".
  std::map<std::string, std::vector<UINT8>> Variables;
  std::deque<EFI_INPUT_KEY> TypedKeys;  // in the console input's buffer now
  // The person at the machine, who acts while a wait finds nothing ready,
  // before time passes: OnIdleKeyboard, then a space typed when
  // KeyDuringWait and the console input is among the events waited on.
  std::function<void()> OnIdleKeyboard;
  bool KeyDuringWait = true;

  // --- input and events ---------------------------------------------------
  // When a keystroke's notification functions run, as keyboards differ.
  enum class KeyArrival {
    Queued,  // EDK II's: from an event at TPL_CALLBACK, queued behind those already signalled
    AtOnce,  // from the keyboard's timer at TPL_NOTIFY, in the middle of whatever runs
    Late,    // read only once the running event returns, behind all it signalled
  };
  // Times presses of a key, read in one poll of the keyboard (a held key's
  // repeats, or presses faster than the poll), notified as When says.
  void PressKey(UINT16 ScanCode, UINT32 ShiftState, KeyArrival When = KeyArrival::Queued, unsigned Times = 1);
  // Console input arriving late: the protocol notifications for Simple Text
  // Input Ex are signalled and run.
  void ConnectConsoleInput();
  // Runs the signalled events' functions, first signalled first, until none
  // is left; a call from inside one of them leaves the rest to the outer call.
  void DispatchEvents();
  // Time passes: every armed timer fires once (its function runs, or a wait
  // on it ends). Returns whether any did. WaitForEvent lets time pass too.
  bool ElapseTimers();
  size_t LiveEvents() const { return Events.size(); }
  // Interfaces installed with InstallProtocolInterface, as (handle, GUID).
  struct InstalledInterface {
    EFI_HANDLE Handle;
    EFI_GUID Guid;
    VOID *Interface;
  };
  std::vector<InstalledInterface> Installed;
  size_t KeyNotifications() const { return KeyRegistrations.size(); }
  // Called with each call as it is recorded, before any injected failure.
  std::function<void(const std::string &Call)> OnCall;

  // Fill the screen with a pattern that differs at every pixel.
  void PaintScreen();
  void SetScreenSize(UINT32 Width, UINT32 Height);

  // --- failure injection --------------------------------------------------
  // Fails the Nth call (1-based) of one kind ("AllocatePool", "Write", ...).
  void FailCall(const std::string &Kind, unsigned Nth, EFI_STATUS Status);
  // Fails the next call of one kind.
  void FailNext(const std::string &Kind, EFI_STATUS Status) { FailCall(Kind, KindCounts[Kind] + 1, Status); }
  // Fails the Nth call of any kind.
  void FailNthCall(unsigned Nth, EFI_STATUS Status);

  // --- what happened ------------------------------------------------------
  std::vector<std::string> Calls;   // "Kind(detail)" in order
  std::vector<std::string> CallsOf(const std::string &Kind) const;
  unsigned CallCount() const { return static_cast<unsigned>(Calls.size()); }
  std::string FailedCall;           // the call an injection failed, if any
  std::u16string ConsoleText;       // all text that reached the console
  std::vector<std::pair<UINT16, UINT8>> PortWrites;
  std::vector<std::string> Faults;  // misuse seen: bad frees, calls on closed handles
  size_t LivePoolBlocks() const { return Pool.size(); }
  size_t PoolBytes = 0, PeakPoolBytes = 0;
  size_t OpenFileHandles() const { return Handles.size(); }
  UINTN Attribute = 0x07;
  UINTN CursorColumn = 0, CursorRow = 0;
  bool CursorVisible = true;
  static constexpr UINTN kColumns = 100;
  static constexpr UINTN kRows = 31;
  ConsoleCell Cells[kRows][kColumns];
  std::u16string RowText(UINTN Row) const;  // trailing blanks removed

  EFI_HANDLE ImageHandle() { return &ImageHandleTag; }
  FakeFirmware *Previous = nullptr;  // restored when this one goes
  EFI_SYSTEM_TABLE *SystemTable() { return &St; }

  // --- used by the fake's own functions -----------------------------------
  bool Enter(const std::string &Kind, const std::string &Detail, EFI_STATUS *Injected);
  std::map<void *, size_t> Pool;
  std::set<void *> Handles;
  UINT8 CmosIndex = 0;
  std::string ResolvePath(const std::string &Base, const std::u16string &Name, bool *Valid) const;

  EFI_SYSTEM_TABLE St = {};
  EFI_BOOT_SERVICES Bs = {};
  EFI_RUNTIME_SERVICES Rt = {};
  EFI_LOADED_IMAGE_PROTOCOL LoadedImage = {};
  EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL TextInputEx = {};
  SIMPLE_INPUT_INTERFACE ConIn = {};
  struct KeyRegistration {
    EFI_KEY_DATA Key;
    EFI_KEY_NOTIFY_FUNCTION Notify;
  };
  std::map<void *, KeyRegistration> KeyRegistrations;  // by notify handle
  std::map<EFI_EVENT, FakeEvent> Events;
  std::vector<std::pair<EFI_GUID, EFI_EVENT>> ProtocolNotifications;
  uintptr_t NextHandleTag = 0x1000;
  bool Dispatching = false;
  std::deque<EFI_EVENT> Queue;           // signalled events, in order; KeyDelivery stands for the keyboard's
  std::deque<EFI_KEY_DATA> PendingKeys;  // pressed, not yet notified
  std::deque<EFI_KEY_DATA> LateKeys;     // pressed, not read until the running event returns
  EFI_EVENT KeyDelivery = &KeyDeliveryTag;
  int KeyDeliveryTag = 0;
  EFI_TPL CurrentTpl = TPL_APPLICATION;
  bool InKeyNotification = false;
  void Signal(EFI_EVENT Event);
  void DeliverKeys();
  EFI_SIMPLE_TEXT_OUT_PROTOCOL ConOut = {};
  SIMPLE_TEXT_OUTPUT_MODE ConOutMode = {};
  EFI_GRAPHICS_OUTPUT_PROTOCOL Gop = {};
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE GopMode = {};
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION GopInfo = {};
  EFI_SHELL_PROTOCOL ShellProtocol = {};
  EFI_SHELL_ENVIRONMENT2 Environment2 = {};
  EFI_SHELL_PARAMETERS_PROTOCOL Parameters = {};
  EFI_SHELL_INTERFACE ShellInterface = {};
  std::vector<std::vector<CHAR16>> ArgumentStorage;
  std::vector<CHAR16 *> ArgumentPointers;
  std::vector<CHAR16> CurrentDirStorage;
  int ImageHandleTag = 0;
  int ShellHandleTag = 0;
  int ConsoleInTag = 0;
  int ConsoleOutTag = 0;
  int WaitForKeyTag = 0;

 private:
  struct Injection {
    std::string Kind;  // empty: any call
    unsigned Nth;
    EFI_STATUS Status;
  };
  std::vector<Injection> Injections;
  std::map<std::string, unsigned> KindCounts;
};

std::u16string FromUcs2(const CHAR16 *Text);
// Sets up LoadImage, StartImage, UnloadImage, the watchdog, GetVariable and
// the console input (FakeImages.cpp); the constructor calls it.
void WireImageServices(FakeFirmware &Fw);
std::string Narrow(const std::u16string &Text);

}  // namespace fake

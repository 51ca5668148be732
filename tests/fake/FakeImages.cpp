// The fake's images, variables, watchdog and console input: what a boot
// application uses to load another image and wait for the user.
#include <cstdlib>
#include <cstring>

#include "tests/fake/FakeFirmware.h"

namespace fake {
namespace {

FakeFirmware &F() { return FakeFirmware::Current(); }

// "Pci(0x2)/\vistrel\x64\vistrel-hotkey.efi"; the file path node's text
// alone after a device path of one PCI node. Anything else reads "?".
std::string PathText(const EFI_DEVICE_PATH_PROTOCOL *Path, size_t *Volume) {
  const auto *Node = reinterpret_cast<const UINT8 *>(Path);
  std::string Text;
  *Volume = SIZE_MAX;
  if (Node[0] == HARDWARE_DEVICE_PATH && Node[1] == HW_PCI_DP && Node[2] == 6) {
    *Volume = Node[5] - 1u;
    Text = "Pci(" + std::to_string(Node[5]) + ")";
    Node += 6;
  }
  if (Node[0] != MEDIA_DEVICE_PATH || Node[1] != MEDIA_FILEPATH_DP) return Text + "/?";
  const size_t Length = Node[2] | (Node[3] << 8);
  std::u16string Name;
  for (size_t At = 4; At + 1 < Length; At += 2) {
    const char16_t C = static_cast<char16_t>(Node[At] | (Node[At + 1] << 8));
    if (C == 0) break;
    Name += C;
  }
  const UINT8 *End = Node + Length;
  if (End[0] != END_DEVICE_PATH_TYPE || End[1] != END_ENTIRE_DEVICE_PATH_SUBTYPE || End[2] != 4) return Text + "/?";
  return Text + "/" + Narrow(Name);
}

// cppcheck-suppress constParameter ; the firmware's signature
EFI_STATUS EFIAPI LoadImage(BOOLEAN BootPolicy, EFI_HANDLE Parent, EFI_DEVICE_PATH_PROTOCOL *Path, VOID *Source,
                            UINTN SourceSize, EFI_HANDLE *Image) {
  EFI_STATUS Injected;
  size_t Volume = SIZE_MAX;
  const std::string Text = Path == nullptr ? "null" : PathText(Path, &Volume);
  if (F().Enter("LoadImage", Text, &Injected)) return Injected;
  FakeFirmware &Fw = F();
  if (BootPolicy || Source != nullptr || SourceSize != 0 || Parent != Fw.ImageHandle())
    Fw.Faults.push_back("LoadImage not from a file, or for another parent");
  Fw.LoadedPaths.push_back(Text);
  const size_t Slash = Text.find('/');
  if (Volume >= Fw.VolumeCount || Fw.FindFile(Text.substr(Slash + 1), Volume) == nullptr) return EFI_NOT_FOUND;
  if (EFI_ERROR(Fw.LoadImageVerdict) && Fw.LoadImageVerdict != EFI_SECURITY_VIOLATION) return Fw.LoadImageVerdict;
  auto *Made = reinterpret_cast<EFI_HANDLE>(Fw.NextHandleTag++);
  FakeImage &Loaded = Fw.Images[Made];
  Loaded.Path = Text;
  Loaded.LoadedImage.ParentHandle = Parent;
  Loaded.LoadedImage.DeviceHandle = &Fw.Volumes[Volume].HandleTag;
  *Image = Made;
  return Fw.LoadImageVerdict;
}

EFI_STATUS EFIAPI StartImage(EFI_HANDLE Image, UINTN *ExitDataSize, CHAR16 **ExitData) {
  EFI_STATUS Injected;
  if (F().Enter("StartImage", "", &Injected)) return Injected;
  FakeFirmware &Fw = F();
  if (Fw.Images.count(Image) == 0) {
    Fw.Faults.push_back("StartImage of an image not loaded");
    return EFI_INVALID_PARAMETER;
  }
  const EFI_STATUS Status = Fw.ImageEntry(Image);
  if (EFI_ERROR(Status)) {
    Fw.Images.erase(Image);  // a driver whose entry fails is unloaded
    if (Fw.ExitDataOnError && ExitData != nullptr && ExitDataSize != nullptr) {
      VOID *Block = nullptr;
      Fw.Bs.AllocatePool(EfiBootServicesData, 8, &Block);
      std::memcpy(Block, u"why", 8);
      *ExitData = static_cast<CHAR16 *>(Block);
      *ExitDataSize = 8;
    }
  }
  return Status;
}

EFI_STATUS EFIAPI UnloadImage(EFI_HANDLE Image) {
  EFI_STATUS Injected;
  if (F().Enter("UnloadImage", "", &Injected)) return Injected;
  if (F().Images.erase(Image) == 0) {
    F().Faults.push_back("UnloadImage of an image not loaded");
    return EFI_INVALID_PARAMETER;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetWatchdogTimer(UINTN Timeout, UINT64, UINTN, CHAR16 *) {
  EFI_STATUS Injected;
  return F().Enter("SetWatchdogTimer", std::to_string(Timeout), &Injected) ? Injected : EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetVariable(CHAR16 *Name, EFI_GUID *Vendor, UINT32 *Attributes, UINTN *Size, VOID *Data) {
  EFI_STATUS Injected;
  const std::string Key = Narrow(FromUcs2(Name));
  if (F().Enter("GetVariable", Key, &Injected)) return Injected;
  auto Found = F().Variables.find(Key + "@" + std::to_string(Vendor->Data1));
  if (Found == F().Variables.end()) Found = F().Variables.find(Key);
  if (Found == F().Variables.end()) return EFI_NOT_FOUND;
  if (Attributes != nullptr) *Attributes = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
  const size_t Needed = Found->second.size();
  if (*Size < Needed) {
    *Size = Needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(Data, Found->second.data(), Needed);
  *Size = Needed;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI InputReset(SIMPLE_INPUT_INTERFACE *, BOOLEAN) {
  EFI_STATUS Injected;
  if (F().Enter("InputReset", "", &Injected)) return Injected;
  F().TypedKeys.clear();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ReadKeyStroke(SIMPLE_INPUT_INTERFACE *, EFI_INPUT_KEY *Key) {
  EFI_STATUS Injected;
  if (F().Enter("ReadKeyStroke", "", &Injected)) return Injected;
  if (F().TypedKeys.empty()) return EFI_NOT_READY;
  *Key = F().TypedKeys.front();
  F().TypedKeys.pop_front();
  return EFI_SUCCESS;
}

}  // namespace

void WireImageServices(FakeFirmware &Fw) {
  Fw.Bs.LoadImage = LoadImage;
  Fw.Bs.StartImage = StartImage;
  Fw.Bs.UnloadImage = UnloadImage;
  Fw.Bs.SetWatchdogTimer = SetWatchdogTimer;
  Fw.Rt.GetVariable = GetVariable;
  Fw.ConIn.Reset = InputReset;
  Fw.ConIn.ReadKeyStroke = ReadKeyStroke;
  Fw.ConIn.WaitForKey = &Fw.WaitForKeyTag;
  Fw.St.ConIn = &Fw.ConIn;
}

}  // namespace fake

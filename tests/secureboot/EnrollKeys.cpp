// Test fixture, not shipped: takes a firmware in setup mode to user mode by
// enrolling the test keys, db first and PK last (enrolling PK ends setup
// mode), each from a signed .auth file in the root of the volume this image
// was loaded from. Then prints "SetupMode=N SecureBoot=N" as the firmware now
// reports them. Returns the first failure.
extern "C" {
#include <efi.h>
#include <efilib.h>
}

#define TEXT(Text) (reinterpret_cast<CHAR16 *>(const_cast<char16_t *>(u"" Text)))

namespace {

EFI_GUID gImageSecurityDatabaseGuid = {
    0xD719B2CB, 0x3D3A, 0x4596, {0xA3, 0xBC, 0xDA, 0xD0, 0x0E, 0x67, 0x65, 0x6F}};

constexpr UINT32 kAuthenticatedVariable = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS |
                                          EFI_VARIABLE_RUNTIME_ACCESS |
                                          EFI_VARIABLE_TIME_BASED_AUTHENTICATED_WRITE_ACCESS;

// The whole file in a pool buffer the caller frees.
EFI_STATUS ReadWholeFile(EFI_FILE_HANDLE Root, CHAR16 *Name, VOID **Data, UINTN *Size) {
  EFI_FILE_HANDLE File = nullptr;
  EFI_STATUS Status = Root->Open(Root, &File, Name, EFI_FILE_MODE_READ, 0);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  EFI_FILE_INFO *Info = LibFileInfo(File);
  Status = EFI_OUT_OF_RESOURCES;
  if (Info != nullptr) {
    *Size = Info->FileSize;
    FreePool(Info);
    *Data = AllocatePool(*Size);
    if (*Data != nullptr) {
      UINTN Read = *Size;
      Status = File->Read(File, &Read, *Data);
      if (!EFI_ERROR(Status) && Read != *Size) {
        Status = EFI_END_OF_FILE;
      }
      if (EFI_ERROR(Status)) {
        FreePool(*Data);
      }
    }
  }
  File->Close(File);
  return Status;
}

EFI_STATUS Enroll(EFI_FILE_HANDLE Root, CHAR16 *FileName, CHAR16 *Variable, EFI_GUID *Guid) {
  VOID *Data = nullptr;
  UINTN Size = 0;
  EFI_STATUS Status = ReadWholeFile(Root, FileName, &Data, &Size);
  if (!EFI_ERROR(Status)) {
    Status = RT->SetVariable(Variable, Guid, kAuthenticatedVariable, Size, Data);
    FreePool(Data);
  }
  Print(TEXT("%s: %r\n"), Variable, Status);
  return Status;
}

UINTN ReadFlag(CHAR16 *Name) {
  UINT8 Value = 0xFF;
  UINTN Size = sizeof(Value);
  if (EFI_ERROR(RT->GetVariable(Name, &gEfiGlobalVariableGuid, nullptr, &Size, &Value))) {
    return 0xFF;
  }
  return Value;
}

}  // namespace

// Not EFIAPI: Debian's crt0 makes this call with the System V convention.
extern "C" EFI_STATUS efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  InitializeLib(ImageHandle, SystemTable);
  EFI_LOADED_IMAGE *Image = nullptr;
  EFI_STATUS Status = BS->HandleProtocol(ImageHandle, &LoadedImageProtocol, reinterpret_cast<VOID **>(&Image));
  EFI_FILE_HANDLE Root = EFI_ERROR(Status) ? nullptr : LibOpenRoot(Image->DeviceHandle);
  if (Root == nullptr) {
    Print(TEXT("no volume to read the keys from\n"));
    return EFI_NOT_FOUND;
  }
  Status = Enroll(Root, TEXT("db.auth"), TEXT("db"), &gImageSecurityDatabaseGuid);
  if (!EFI_ERROR(Status)) {
    Status = Enroll(Root, TEXT("KEK.auth"), TEXT("KEK"), &gEfiGlobalVariableGuid);
  }
  if (!EFI_ERROR(Status)) {
    Status = Enroll(Root, TEXT("PK.auth"), TEXT("PK"), &gEfiGlobalVariableGuid);
  }
  Root->Close(Root);
  Print(TEXT("SetupMode=%d SecureBoot=%d\n"), ReadFlag(TEXT("SetupMode")), ReadFlag(TEXT("SecureBoot")));
  return Status;
}

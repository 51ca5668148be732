#include "platform/ApplicationFrame.h"

#include "platform/Library.h"
#include "platform/PoolBuffer.h"
#include "platform/Protocol.h"
#include "platform/Shell.h"

namespace {

constexpr UINTN kLargestExitCode = 0x7FFFFFFF;

UINTN Utf8Length(const CHAR16 *Text) {
  UINTN Length = 0;
  for (; *Text != 0; Text++) {
    Length += *Text < 0x80 ? 1 : (*Text < 0x800 ? 2 : 3);
  }
  return Length;
}

// Each UCS-2 character becomes one to three bytes.
char *EncodeUtf8(const CHAR16 *Text, char *Out) {
  for (; *Text != 0; Text++) {
    const UINT32 Unit = *Text;
    if (Unit < 0x80) {
      *Out++ = static_cast<char>(Unit);
    } else if (Unit < 0x800) {
      *Out++ = static_cast<char>(0xC0 | (Unit >> 6));
      *Out++ = static_cast<char>(0x80 | (Unit & 0x3F));
    } else {
      *Out++ = static_cast<char>(0xE0 | (Unit >> 12));
      *Out++ = static_cast<char>(0x80 | ((Unit >> 6) & 0x3F));
      *Out++ = static_cast<char>(0x80 | (Unit & 0x3F));
    }
  }
  *Out++ = 0;
  return Out;
}

// The shell's UCS-2 argument vector, or none.
BOOLEAN FindShellArguments(EFI_HANDLE ImageHandle, UINTN *Argc, CHAR16 ***Argv) {
  if (const auto *Parameters = OpenProtocol<EFI_SHELL_PARAMETERS_PROTOCOL>(ImageHandle)) {
    *Argc = Parameters->Argc;
    *Argv = Parameters->Argv;
    return *Argv != nullptr;
  }
  if (const auto *Shell = OpenProtocol<EFI_SHELL_INTERFACE>(ImageHandle)) {
    *Argc = Shell->Argc;
    *Argv = Shell->Argv;
    return *Argv != nullptr;
  }
  return FALSE;
}

// One pool block: the pointer vector (null-terminated), then the strings.
PoolBuffer<char *> ConvertArguments(UINTN Argc, CHAR16 **Argv) {
  if (Argc > kLargestExitCode) {
    return PoolBuffer<char *>();
  }
  UINTN Bytes = (Argc + 1) * sizeof(char *);
  for (UINTN Index = 0; Index < Argc; Index++) {
    if (Argv[Index] == nullptr || !SafeAdd(Bytes, Utf8Length(Argv[Index]) + 1, &Bytes)) {
      return PoolBuffer<char *>();
    }
  }
  PoolBuffer<char *> Block(static_cast<char **>(AllocateZeroPool(Bytes)));
  if (!Block) {
    return Block;
  }
  char *Text = reinterpret_cast<char *>(Block.Get() + Argc + 1);
  for (UINTN Index = 0; Index < Argc; Index++) {
    Block[Index] = Text;
    Text = EncodeUtf8(Argv[Index], Text);
  }
  return Block;
}

}  // namespace

int ExitCodeFromStatus(EFI_STATUS Status) {
  if (!EFI_ERROR(Status)) {
    return 0;
  }
  const UINTN Code = Status & ~kEfiErrorBit;
  // Codes that do not fit (OEM errors) still must not read as success.
  return static_cast<int>(Code != 0 && Code <= kLargestExitCode ? Code : (EFI_DEVICE_ERROR & ~kEfiErrorBit));
}

EFI_STATUS StatusFromExitCode(int ExitCode) {
  if (ExitCode == 0) {
    return EFI_SUCCESS;
  }
  return ExitCode > 0 ? (kEfiErrorBit | static_cast<UINTN>(ExitCode)) : EFI_ABORTED;
}

EFI_STATUS RunShellApplication(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable,
                               APPLICATION_MAIN Main) {
  if (!AdoptFirmwareTables(ImageHandle, SystemTable, FALSE, TRUE)) {
    return EFI_INVALID_PARAMETER;
  }
  ShellLibConstructor(ImageHandle);

  UINTN ShellArgc = 0;
  CHAR16 **ShellArgv = nullptr;
  PoolBuffer<char *> Arguments;
  if (FindShellArguments(ImageHandle, &ShellArgc, &ShellArgv)) {
    Arguments = ConvertArguments(ShellArgc, ShellArgv);
  }
  char *NoArguments[1] = {nullptr};
  const int ExitCode = Arguments ? Main(static_cast<int>(ShellArgc), Arguments.Get())
                                 : Main(0, NoArguments);

  ShellLibDestructor();
  return StatusFromExitCode(ExitCode);
}

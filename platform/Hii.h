// The HII database, HII string and form browser interfaces, which gnu-efi
// lacks, laid out as UEFI defines them; and the package and IFR records the
// form listing reads. Only the members the forms tool calls are
// typed; the others keep their places as plain pointers.
#pragma once

#include "platform/Efi.h"

typedef VOID *EFI_HII_HANDLE;
typedef UINT16 EFI_STRING_ID;
typedef UINT16 EFI_FORM_ID;
typedef UINTN EFI_BROWSER_ACTION_REQUEST;
constexpr EFI_BROWSER_ACTION_REQUEST kBrowserActionRequestNone = 0;

struct EFI_HII_DATABASE_PROTOCOL;
// Handles of the package lists holding a package of PackageType (PackageGuid
// only for GUID packages). EFI_BUFFER_TOO_SMALL, with the size needed, when
// *HandleBufferLength bytes cannot hold them; EFI_NOT_FOUND when none does.
typedef EFI_STATUS(EFIAPI *EFI_HII_DATABASE_LIST_PACKS)(EFI_HII_DATABASE_PROTOCOL *This, UINT8 PackageType,
                                                        const EFI_GUID *PackageGuid, UINTN *HandleBufferLength,
                                                        EFI_HII_HANDLE *Handle);
// The package list of Handle, header and packages, into Buffer;
// EFI_BUFFER_TOO_SMALL with the size needed.
typedef EFI_STATUS(EFIAPI *EFI_HII_DATABASE_EXPORT_PACKS)(EFI_HII_DATABASE_PROTOCOL *This, EFI_HII_HANDLE Handle,
                                                          UINTN *BufferSize, VOID *Buffer);
struct EFI_HII_DATABASE_PROTOCOL {
  VOID *NewPackageList;
  VOID *RemovePackageList;
  VOID *UpdatePackageList;
  EFI_HII_DATABASE_LIST_PACKS ListPackageLists;
  EFI_HII_DATABASE_EXPORT_PACKS ExportPackageLists;
  VOID *RegisterPackageNotify;
  VOID *UnregisterPackageNotify;
  VOID *FindKeyboardLayouts;
  VOID *GetKeyboardLayout;
  VOID *SetKeyboardLayout;
  VOID *GetPackageListHandle;
};
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, ListPackageLists) == 3 * sizeof(VOID *), "4th entry");
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, ExportPackageLists) == 4 * sizeof(VOID *), "5th entry");

struct EFI_HII_STRING_PROTOCOL;
// String StringId of PackageList in Language (an RFC 4646 code such as
// "en-US"), *StringSize bytes with its NUL; EFI_BUFFER_TOO_SMALL with the
// size needed, EFI_INVALID_LANGUAGE or EFI_NOT_FOUND when it is not there.
typedef EFI_STATUS(EFIAPI *EFI_HII_GET_STRING)(EFI_HII_STRING_PROTOCOL *This, const CHAR8 *Language,
                                               EFI_HII_HANDLE PackageList, EFI_STRING_ID StringId, CHAR16 *String,
                                               UINTN *StringSize, VOID **StringFontInfo);
// The languages PackageList's strings have, as "en-US;fr-FR" with a NUL.
typedef EFI_STATUS(EFIAPI *EFI_HII_GET_LANGUAGES)(EFI_HII_STRING_PROTOCOL *This, EFI_HII_HANDLE PackageList,
                                                  CHAR8 *Languages, UINTN *LanguagesSize);
struct EFI_HII_STRING_PROTOCOL {
  VOID *NewString;
  EFI_HII_GET_STRING GetString;
  VOID *SetString;
  EFI_HII_GET_LANGUAGES GetLanguages;
  VOID *GetSecondaryLanguages;
};
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, GetString) == sizeof(VOID *), "2nd entry");
static_assert(offsetof(EFI_HII_STRING_PROTOCOL, GetLanguages) == 3 * sizeof(VOID *), "4th entry");

struct EFI_FORM_BROWSER2_PROTOCOL;
// Shows form FormId (0: the first) of form set FormSetGuid in the package
// lists Handle and returns when the user leaves it; *ActionRequest says what
// the form asked of the caller (reset, exit, ...), which the tool never does.
typedef EFI_STATUS(EFIAPI *EFI_SEND_FORM2)(EFI_FORM_BROWSER2_PROTOCOL *This, EFI_HII_HANDLE *Handle,
                                           UINTN HandleCount, EFI_GUID *FormSetGuid, EFI_FORM_ID FormId,
                                           const VOID *ScreenDimensions, EFI_BROWSER_ACTION_REQUEST *ActionRequest);
struct EFI_FORM_BROWSER2_PROTOCOL {
  EFI_SEND_FORM2 SendForm;
  VOID *BrowserCallback;
};

extern EFI_GUID gEfiHiiDatabaseProtocolGuid;
extern EFI_GUID gEfiHiiStringProtocolGuid;
extern EFI_GUID gEfiFormBrowser2ProtocolGuid;
// EDK II's display engine, behind its form browser: only there is Page Down
// known to do nothing but scroll and move the highlight.
extern EFI_GUID gEdkiiFormDisplayEngineProtocolGuid;
// The GUID opcodes of EDK II's IFR extensions (class, subclass, ...).
extern EFI_GUID gEfiIfrTianoGuid;
// The firmware's own front page, whose form ignores ESC.
extern EFI_GUID gFrontPageFormSetGuid;

// --- exported package lists -------------------------------------------------

// The list header: its GUID, then its length in bytes with the header.
constexpr UINTN kHiiPackageListHeaderSize = 20;
constexpr UINTN kHiiPackageListLengthOffset = 16;
// A package header: a 24-bit length with the header, then an 8-bit type.
constexpr UINTN kHiiPackageHeaderSize = 4;
constexpr UINT8 kHiiPackageForms = 0x02;
constexpr UINT8 kHiiPackageEnd = 0xDF;

// --- IFR --------------------------------------------------------------------

// An opcode's header: the opcode, then its length (low 7 bits, the header
// included) and whether it opens a scope (the top bit).
constexpr UINTN kIfrHeaderSize = 2;
constexpr UINT8 kIfrLengthMask = 0x7F;
constexpr UINT8 kIfrScopeBit = 0x80;

constexpr UINT8 kIfrFormOp = 0x01;
constexpr UINT8 kIfrFormSetOp = 0x0E;
constexpr UINT8 kIfrEndOp = 0x29;
constexpr UINT8 kIfrFormMapOp = 0x5D;
constexpr UINT8 kIfrGuidOp = 0x5F;
constexpr UINT8 kIfrModalTagOp = 0x61;

// Form set: GUID, title, help, flags; then (flags & 3) class GUIDs.
constexpr UINTN kIfrFormSetGuidOffset = 2;
constexpr UINTN kIfrFormSetTitleOffset = 18;
constexpr UINTN kIfrFormSetFlagsOffset = 22;
constexpr UINTN kIfrFormSetSize = 23;
constexpr UINT8 kIfrFormSetClassGuidCountMask = 0x03;
// Form: id, title. Form map: id, then methods, each a title and a GUID.
constexpr UINTN kIfrFormIdOffset = 2;
constexpr UINTN kIfrFormTitleOffset = 4;
constexpr UINTN kIfrFormSize = 6;
constexpr UINTN kIfrFormMapSize = 4;
constexpr UINTN kIfrFormMapMethodSize = 18;
// A GUID opcode of the Tiano extension: its GUID, then the extension's
// opcode; the subclass one carries the subclass, 2 for the front page.
constexpr UINTN kIfrGuidOffset = 2;
constexpr UINTN kIfrTianoExtendOpOffset = 18;
constexpr UINTN kIfrTianoSubclassOffset = 19;
constexpr UINTN kIfrTianoSubclassSize = 21;
constexpr UINT8 kIfrTianoExtendOpSubclass = 0x02;
constexpr UINT16 kIfrFrontPageSubclass = 0x0002;

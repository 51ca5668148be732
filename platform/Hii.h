// The HII database, HII string and form browser interfaces, which gnu-efi
// lacks, laid out as UEFI defines them; and the package and IFR records the
// form listing reads, the IFR its settings reader reads, and the
// configuration routing protocol it asks for values. Only the members the
// forms tool calls are typed; the others keep their places as plain pointers.
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
// The driver handle that registered PackageListHandle.
typedef EFI_STATUS(EFIAPI *EFI_HII_DATABASE_GET_PACK_HANDLE)(EFI_HII_DATABASE_PROTOCOL *This,
                                                             EFI_HII_HANDLE PackageListHandle,
                                                             EFI_HANDLE *DriverHandle);
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
  EFI_HII_DATABASE_GET_PACK_HANDLE GetPackageListHandle;
};
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, ListPackageLists) == 3 * sizeof(VOID *), "4th entry");
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, ExportPackageLists) == 4 * sizeof(VOID *), "5th entry");
static_assert(offsetof(EFI_HII_DATABASE_PROTOCOL, GetPackageListHandle) == 10 * sizeof(VOID *), "11th entry");

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

struct EFI_HII_CONFIG_ROUTING_PROTOCOL;
// The values Request names (a configuration string), from the driver that
// owns its store, as a configuration string the firmware allocates in pool
// (*Results); *Progress points into Request where it stopped. The tool calls
// nothing else here: RouteConfig would write.
typedef EFI_STATUS(EFIAPI *EFI_HII_EXTRACT_CONFIG)(const EFI_HII_CONFIG_ROUTING_PROTOCOL *This,
                                                   const CHAR16 *Request, CHAR16 **Progress, CHAR16 **Results);
struct EFI_HII_CONFIG_ROUTING_PROTOCOL {
  EFI_HII_EXTRACT_CONFIG ExtractConfig;
  VOID *ExportConfig;
  VOID *RouteConfig;
  VOID *BlockToConfig;
  VOID *ConfigToBlock;
  VOID *GetAltConfig;
};
static_assert(offsetof(EFI_HII_CONFIG_ROUTING_PROTOCOL, RouteConfig) == 2 * sizeof(VOID *), "3rd entry");

extern EFI_GUID gEfiHiiDatabaseProtocolGuid;
extern EFI_GUID gEfiHiiConfigRoutingProtocolGuid;
// The GUID opcode whose scope holds questions stored as bit fields.
extern EFI_GUID gEdkiiIfrBitVarstoreGuid;
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

// --- questions, stores and conditions -----------------------------------------

// Statements and questions.
constexpr UINT8 kIfrSubtitleOp = 0x02;
constexpr UINT8 kIfrTextOp = 0x03;
constexpr UINT8 kIfrOneOfOp = 0x05;
constexpr UINT8 kIfrCheckboxOp = 0x06;
constexpr UINT8 kIfrNumericOp = 0x07;
constexpr UINT8 kIfrPasswordOp = 0x08;
constexpr UINT8 kIfrOneOfOptionOp = 0x09;
constexpr UINT8 kIfrActionOp = 0x0C;
constexpr UINT8 kIfrResetButtonOp = 0x0D;
constexpr UINT8 kIfrRefOp = 0x0F;
constexpr UINT8 kIfrDateOp = 0x1A;
constexpr UINT8 kIfrTimeOp = 0x1B;
constexpr UINT8 kIfrStringOp = 0x1C;
constexpr UINT8 kIfrOrderedListOp = 0x23;
constexpr UINT8 kIfrDefaultOp = 0x5B;
// Conditions: each opens a scope, its expression first, then what it governs.
constexpr UINT8 kIfrSuppressIfOp = 0x0A;
constexpr UINT8 kIfrGrayOutIfOp = 0x19;
constexpr UINT8 kIfrDisableIfOp = 0x1E;
// Stores.
constexpr UINT8 kIfrVarStoreOp = 0x24;
constexpr UINT8 kIfrVarStoreNameValueOp = 0x25;
constexpr UINT8 kIfrVarStoreEfiOp = 0x26;
// The expression opcodes read: question values, constants, logic and
// comparisons.
constexpr UINT8 kIfrEqIdValOp = 0x12;
constexpr UINT8 kIfrEqIdIdOp = 0x13;
constexpr UINT8 kIfrEqIdValListOp = 0x14;
constexpr UINT8 kIfrAndOp = 0x15;
constexpr UINT8 kIfrOrOp = 0x16;
constexpr UINT8 kIfrNotOp = 0x17;
constexpr UINT8 kIfrEqualOp = 0x2F;
constexpr UINT8 kIfrNotEqualOp = 0x30;
constexpr UINT8 kIfrGreaterThanOp = 0x31;
constexpr UINT8 kIfrGreaterEqualOp = 0x32;
constexpr UINT8 kIfrLessThanOp = 0x33;
constexpr UINT8 kIfrLessEqualOp = 0x34;
constexpr UINT8 kIfrQuestionRef1Op = 0x40;
constexpr UINT8 kIfrUint8Op = 0x42;
constexpr UINT8 kIfrUint16Op = 0x43;
constexpr UINT8 kIfrUint32Op = 0x44;
constexpr UINT8 kIfrUint64Op = 0x45;
constexpr UINT8 kIfrTrueOp = 0x46;
constexpr UINT8 kIfrFalseOp = 0x47;
constexpr UINT8 kIfrZeroOp = 0x52;
constexpr UINT8 kIfrOneOp = 0x53;
constexpr UINT8 kIfrOnesOp = 0x54;

// A statement: prompt, help. A question adds its id, its store's id, the
// store's offset (or, for named values, the name's string id), and flags.
constexpr UINTN kIfrPromptOffset = 2;
constexpr UINTN kIfrHelpOffset = 4;
constexpr UINTN kIfrStatementSize = 6;
constexpr UINTN kIfrQuestionIdOffset = 6;
constexpr UINTN kIfrVarStoreIdOffset = 8;
constexpr UINTN kIfrVarStoreInfoOffset = 10;
constexpr UINTN kIfrQuestionSize = 13;
// After the question header: one-of and numeric flags (size and display),
// then minimum, maximum and step of that size; a checkbox's, date's or
// time's flags; a string's minimum and maximum characters (a byte each); a
// password's (two bytes each); an ordered list's containers; a link's form.
constexpr UINTN kIfrQuestionFlagsOffset = 13;
constexpr UINTN kIfrNumericBoundsOffset = 14;
constexpr UINT8 kIfrNumericSizeMask = 0x03;
constexpr UINT8 kIfrDisplayMask = 0x30;
constexpr UINT8 kIfrDisplaySigned = 0x10;
constexpr UINT8 kIfrDisplayHex = 0x20;
constexpr UINT8 kIfrCheckboxDefault = 0x01;
constexpr UINT8 kIfrDateTimeStorageMask = 0x30;
constexpr UINT8 kIfrDateTimeStorageNormal = 0x00;
constexpr UINTN kIfrStringMaxOffset = 14;
constexpr UINTN kIfrPasswordMaxOffset = 15;
constexpr UINTN kIfrRefFormOffset = 13;
// A text's second string.
constexpr UINTN kIfrTextTwoOffset = 6;
// An option: its text, flags, value type, value.
constexpr UINTN kIfrOptionTextOffset = 2;
constexpr UINTN kIfrOptionFlagsOffset = 4;
constexpr UINTN kIfrOptionTypeOffset = 5;
constexpr UINTN kIfrOptionValueOffset = 6;
constexpr UINT8 kIfrOptionDefault = 0x10;
// A default: its default store (0 the standard one), value type, value.
constexpr UINTN kIfrDefaultIdOffset = 2;
constexpr UINTN kIfrDefaultTypeOffset = 4;
constexpr UINTN kIfrDefaultValueOffset = 5;
constexpr UINT16 kIfrStandardDefault = 0;
// Value types.
constexpr UINT8 kIfrTypeNum8 = 0;
constexpr UINT8 kIfrTypeNum16 = 1;
constexpr UINT8 kIfrTypeNum32 = 2;
constexpr UINT8 kIfrTypeNum64 = 3;
constexpr UINT8 kIfrTypeBoolean = 4;
constexpr UINT8 kIfrTypeTime = 5;
constexpr UINT8 kIfrTypeDate = 6;
// A buffer store: GUID, id, size, then its ASCII name. Named values: id,
// GUID. An EFI variable: id, GUID, attributes, size, name; before UEFI
// 2.3.1 it ended after the attributes.
constexpr UINTN kIfrVarStoreGuidOffset = 2;
constexpr UINTN kIfrVarStoreIdOffsetInStore = 18;
constexpr UINTN kIfrVarStoreSizeOffset = 20;
constexpr UINTN kIfrVarStoreNameOffset = 22;
constexpr UINTN kIfrNameValueIdOffset = 2;
constexpr UINTN kIfrNameValueGuidOffset = 4;
constexpr UINTN kIfrNameValueSize = 20;
constexpr UINTN kIfrEfiStoreIdOffset = 2;
constexpr UINTN kIfrEfiStoreGuidOffset = 4;
constexpr UINTN kIfrEfiStoreSizeOffset = 24;
constexpr UINTN kIfrEfiStoreNameOffset = 26;
constexpr UINTN kIfrOldEfiStoreSize = 24;

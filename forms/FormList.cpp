#include "forms/FormList.h"

#include "forms/LittleEndian.h"
#include "platform/Firmware.h"
#include "platform/Library.h"
#include "platform/Text.h"

namespace {

// Larger exports and strings than these are not firmware settings pages.
constexpr UINTN kLargestPackageList = UINTN{16} * 1024 * 1024;
constexpr UINTN kLargestString = 64 * UINTN{1024};
constexpr UINTN kLanguagesLength = 512;



enum class PARSED { Added, Malformed, OutOfResources };

// One forms package's IFR added to the list. Scopes are followed by depth:
// a form set or form ends at the END that brings the depth back to where it
// was opened.
class FormsPackage {
 public:
  FormsPackage(FormList *List, EFI_HII_HANDLE Handle, const EFI_GUID &ListGuid)
      : mList(List), mHandle(Handle), mListGuid(ListGuid) {}

  PARSED Add(const UINT8 *Ifr, UINTN Size) {
    for (UINTN At = 0; At < Size;) {
      if (Size - At < kIfrHeaderSize) {
        return PARSED::Malformed;
      }
      const UINT8 *Code = Ifr + At;
      const UINTN Length = Code[1] & kIfrLengthMask;
      if (Length < kIfrHeaderSize || Length > Size - At) {
        return PARSED::Malformed;
      }
      const PARSED Step = AddOpcode(Code, Length);
      if (Step != PARSED::Added) {
        return Step;
      }
      if ((Code[1] & kIfrScopeBit) != 0 && Code[0] != kIfrEndOp) {
        mDepth++;
      }
      At += Length;
    }
    return mDepth == 0 ? PARSED::Added : PARSED::Malformed;
  }

 private:
  PARSED AddOpcode(const UINT8 *Code, UINTN Length) {
    const BOOLEAN Scope = (Code[1] & kIfrScopeBit) != 0;
    switch (Code[0]) {
      case kIfrFormSetOp:
        return Scope ? AddFormSet(Code, Length) : PARSED::Malformed;
      case kIfrFormOp:
      case kIfrFormMapOp:
        return AddForm(Code, Length, Scope);
      case kIfrModalTagOp:
        if (mFormDepth != 0 && !mSkipSet) {
          mList->Forms[mList->Forms.Count() - 1].Modal = TRUE;
        }
        return PARSED::Added;
      case kIfrGuidOp:
        if (mSetDepth != 0 && !mSkipSet && IsFrontPageSubclass(Code, Length)) {
          mList->Sets[mList->Sets.Count() - 1].FrontPage = TRUE;
        }
        return PARSED::Added;
      case kIfrEndOp:
        if (mDepth == 0) {
          return PARSED::Malformed;
        }
        mDepth--;
        if (mDepth + 1 == mFormDepth) {
          mFormDepth = 0;
        }
        if (mDepth + 1 == mSetDepth) {
          mSetDepth = 0;
          mSkipSet = FALSE;
        }
        return PARSED::Added;
      default:
        return PARSED::Added;
    }
  }

  PARSED AddFormSet(const UINT8 *Code, UINTN Length) {
    if (mSetDepth != 0 || Length < kIfrFormSetSize ||
        Length - kIfrFormSetSize < sizeof(EFI_GUID) * (Code[kIfrFormSetFlagsOffset] & kIfrFormSetClassGuidCountMask)) {
      return PARSED::Malformed;
    }
    mSetDepth = mDepth + 1;
    const EFI_GUID FormSetGuid = ReadGuid(Code + kIfrFormSetGuidOffset);
    for (UINTN Index = 0; Index < mList->Sets.Count(); Index++) {
      const FORM_SET_ENTRY &Listed = mList->Sets[Index];
      if (SameGuid(Listed.FormSetGuid, FormSetGuid) && SameGuid(Listed.PackageListGuid, mListGuid)) {
        mSkipSet = TRUE;
        mList->Duplicates++;
        return PARSED::Added;
      }
    }
    FORM_SET_ENTRY *Set = mList->Sets.Append();
    if (Set == nullptr) {
      return PARSED::OutOfResources;
    }
    Set->Handle = mHandle;
    Set->PackageListGuid = mListGuid;
    Set->FormSetGuid = FormSetGuid;
    Set->TitleId = Read16(Code + kIfrFormSetTitleOffset);
    Set->FrontPage = SameGuid(FormSetGuid, gFrontPageFormSetGuid);
    Set->FirstForm = mList->Forms.Count();
    return PARSED::Added;
  }

  PARSED AddForm(const UINT8 *Code, UINTN Length, BOOLEAN Scope) {
    const BOOLEAN Map = Code[0] == kIfrFormMapOp;
    if (mSetDepth == 0 || mFormDepth != 0 || Length < (Map ? kIfrFormMapSize : kIfrFormSize)) {
      return PARSED::Malformed;
    }
    if (Scope) {
      mFormDepth = mDepth + 1;
    }
    if (mSkipSet) {
      return PARSED::Added;
    }
    FORM_ENTRY *Form = mList->Forms.Append();
    if (Form == nullptr) {
      return PARSED::OutOfResources;
    }
    Form->Set = mList->Sets.Count() - 1;
    Form->FormId = Read16(Code + kIfrFormIdOffset);
    // A form map's title is its first method's.
    if (!Map || Length >= kIfrFormMapSize + kIfrFormMapMethodSize) {
      Form->TitleId = Read16(Code + kIfrFormTitleOffset);
    }
    mList->Sets[Form->Set].FormCount++;
    return PARSED::Added;
  }

  static BOOLEAN IsFrontPageSubclass(const UINT8 *Code, UINTN Length) {
    return Length >= kIfrTianoSubclassSize && SameGuid(ReadGuid(Code + kIfrGuidOffset), gEfiIfrTianoGuid) &&
           Code[kIfrTianoExtendOpOffset] == kIfrTianoExtendOpSubclass &&
           Read16(Code + kIfrTianoSubclassOffset) == kIfrFrontPageSubclass;
  }

  FormList *mList;
  EFI_HII_HANDLE mHandle;
  EFI_GUID mListGuid;
  UINTN mDepth = 0;
  UINTN mSetDepth = 0;   // 0 outside a form set, else the depth it opened plus one
  UINTN mFormDepth = 0;  // the same for a form
  BOOLEAN mSkipSet = FALSE;  // a form set registered before: its forms are not added
};

BOOLEAN NoteMalformed(FormList *List, const EFI_GUID &ListGuid) {
  EFI_GUID *Noted = List->Malformed.Append();
  if (Noted == nullptr) {
    return FALSE;
  }
  *Noted = ListGuid;
  return TRUE;
}

// The list as it was before a package, or a whole list, that added nothing.
class ListMark {
 public:
  explicit ListMark(const FormList &List)
      : mSets(List.Sets.Count()), mForms(List.Forms.Count()), mDuplicates(List.Duplicates) {}
  VOID Restore(FormList *List) const {
    List->Sets.Truncate(mSets);
    List->Forms.Truncate(mForms);
    List->Duplicates = mDuplicates;
  }

 private:
  UINTN mSets, mForms, mDuplicates;
};

// The handles of every package list with forms, in the database's order.
EFI_STATUS ListHandles(EFI_HII_DATABASE_PROTOCOL *Database, PoolBuffer<EFI_HII_HANDLE> *Handles, UINTN *Count) {
  *Count = 0;
  UINTN Bytes = 0;
  EFI_STATUS Status = Database->ListPackageLists(Database, kHiiPackageForms, nullptr, &Bytes, nullptr);
  // Asked twice at most: a list registered between the two calls needs more room.
  for (int Attempt = 0; Attempt < 2 && Status == EFI_BUFFER_TOO_SMALL; Attempt++) {
    *Handles = PoolBuffer<EFI_HII_HANDLE>::Allocate(Bytes / sizeof(EFI_HII_HANDLE) + 1);
    if (!*Handles) {
      return EFI_OUT_OF_RESOURCES;
    }
    Status = Database->ListPackageLists(Database, kHiiPackageForms, nullptr, &Bytes, Handles->Get());
  }
  if (Status == EFI_NOT_FOUND) {
    return EFI_SUCCESS;
  }
  if (!EFI_ERROR(Status)) {
    *Count = *Handles ? Bytes / sizeof(EFI_HII_HANDLE) : 0;
  }
  return Status;
}

}  // namespace

EFI_STATUS ExportPackageList(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_HANDLE Handle, PoolBuffer<UINT8> *Exported,
                             UINTN *Size) {
  *Size = 0;
  UINTN Needed = 0;
  if (Database->ExportPackageLists(Database, Handle, &Needed, nullptr) != EFI_BUFFER_TOO_SMALL ||
      Needed > kLargestPackageList) {
    return EFI_NOT_FOUND;
  }
  *Exported = PoolBuffer<UINT8>::Allocate(Needed);
  if (!*Exported) {
    return EFI_OUT_OF_RESOURCES;
  }
  UINTN Written = Needed;
  if (EFI_ERROR(Database->ExportPackageLists(Database, Handle, &Written, Exported->Get())) || Written > Needed) {
    *Exported = PoolBuffer<UINT8>();
    return EFI_NOT_FOUND;
  }
  *Size = Written;
  return EFI_SUCCESS;
}

StringReader::StringReader(EFI_HII_STRING_PROTOCOL *Strings) : mStrings(Strings) {
  UINTN Size = sizeof(mPlatformLanguage) - 1;
  if (EFI_ERROR(ReadGlobalVariable(STR16("PlatformLang"), mPlatformLanguage, &Size))) {
    Size = 0;
  }
  mPlatformLanguage[Size < sizeof(mPlatformLanguage) ? Size : sizeof(mPlatformLanguage) - 1] = 0;
}

EFI_STATUS StringReader::Read(EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16 *Text, UINTN Length) {
  Text[0] = 0;
  if (Id == 0) {
    return EFI_SUCCESS;  // string 0 is no string
  }
  const CHAR8 *Preferred[] = {mPlatformLanguage, reinterpret_cast<const CHAR8 *>("en-US")};
  for (const CHAR8 *Language : Preferred) {
    const EFI_STATUS Status = Language[0] == 0 ? EFI_NOT_FOUND : ReadIn(Language, Handle, Id, Text, Length);
    if (Status != EFI_NOT_FOUND) {
      return Status;
    }
  }
  CHAR8 Languages[kLanguagesLength];
  UINTN Size = sizeof(Languages) - 1;
  if (EFI_ERROR(mStrings->GetLanguages(mStrings, Handle, Languages, &Size))) {
    return EFI_SUCCESS;
  }
  Languages[Size < sizeof(Languages) ? Size : sizeof(Languages) - 1] = 0;
  for (const CHAR8 *Next = Languages; *Next != 0;) {
    CHAR8 Language[kLanguageLength];
    UINTN Used = 0;
    for (; *Next != 0 && *Next != ';'; Next++) {
      if (Used + 1 < sizeof(Language)) {
        Language[Used++] = *Next;
      }
    }
    Language[Used] = 0;
    Next += *Next == ';' ? 1 : 0;
    const EFI_STATUS Status = Used == 0 ? EFI_NOT_FOUND : ReadIn(Language, Handle, Id, Text, Length);
    if (Status != EFI_NOT_FOUND) {
      return Status;
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS StringReader::ReadIn(const CHAR8 *Language, EFI_HII_HANDLE Handle, EFI_STRING_ID Id, CHAR16 *Text,
                                UINTN Length) {
  UINTN Size = Length * sizeof(CHAR16);
  EFI_STATUS Status = mStrings->GetString(mStrings, Language, Handle, Id, Text, &Size, nullptr);
  if (!EFI_ERROR(Status)) {
    Text[Length - 1] = 0;
    return Text[0] == 0 ? EFI_NOT_FOUND : EFI_SUCCESS;
  }
  Text[0] = 0;
  if (Status != EFI_BUFFER_TOO_SMALL || Size > kLargestString || Size < sizeof(CHAR16)) {
    return EFI_NOT_FOUND;
  }
  PoolBuffer<CHAR16> Whole = PoolBuffer<CHAR16>::Allocate(Size / sizeof(CHAR16) + 1);
  if (!Whole) {
    return EFI_OUT_OF_RESOURCES;
  }
  if (EFI_ERROR(mStrings->GetString(mStrings, Language, Handle, Id, Whole.Get(), &Size, nullptr))) {
    return EFI_NOT_FOUND;
  }
  CopyMem(Text, Whole.Get(), (Length - 1) * sizeof(CHAR16) < Size ? (Length - 1) * sizeof(CHAR16) : Size);
  Text[Length - 1] = 0;
  return Text[0] == 0 ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS AddPackageList(FormList *List, EFI_HII_HANDLE Handle, const UINT8 *Data, UINTN Size) {
  EFI_GUID ListGuid = {};
  if (Size >= sizeof(EFI_GUID)) {
    ListGuid = ReadGuid(Data);
  }
  if (Size < kHiiPackageListHeaderSize) {
    return NoteMalformed(List, ListGuid) ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }
  const UINTN Length = Read32(Data + kHiiPackageListLengthOffset);
  if (Length < kHiiPackageListHeaderSize || Length > Size) {
    return NoteMalformed(List, ListGuid) ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }
  const ListMark Before(*List);
  for (UINTN At = kHiiPackageListHeaderSize; At < Length;) {
    const UINT8 *Package = Data + At;
    const UINTN PackageLength = Length - At < kHiiPackageHeaderSize ? 0 : (Read32(Package) & 0xFFFFFF);
    if (PackageLength < kHiiPackageHeaderSize || PackageLength > Length - At) {
      // The next package cannot be found: the rest of the list is lost.
      return NoteMalformed(List, ListGuid) ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
    }
    if (Package[3] == kHiiPackageEnd) {
      break;
    }
    if (Package[3] == kHiiPackageForms) {
      const ListMark BeforePackage(*List);
      FormsPackage Forms(List, Handle, ListGuid);
      const PARSED Parsed = Forms.Add(Package + kHiiPackageHeaderSize, PackageLength - kHiiPackageHeaderSize);
      if (Parsed == PARSED::OutOfResources) {
        Before.Restore(List);
        return EFI_OUT_OF_RESOURCES;
      }
      if (Parsed == PARSED::Malformed) {
        BeforePackage.Restore(List);
        if (!NoteMalformed(List, ListGuid)) {
          Before.Restore(List);
          return EFI_OUT_OF_RESOURCES;
        }
      }
    }
    At += PackageLength;
  }
  return EFI_SUCCESS;
}

EFI_STATUS ListForms(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_STRING_PROTOCOL *Strings, FormList *List) {
  PoolBuffer<EFI_HII_HANDLE> Handles;
  UINTN Count = 0;
  EFI_STATUS Status = ListHandles(Database, &Handles, &Count);
  for (UINTN Index = 0; !EFI_ERROR(Status) && Index < Count; Index++) {
    PoolBuffer<UINT8> Exported;
    UINTN Size = 0;
    Status = ExportPackageList(Database, Handles[Index], &Exported, &Size);
    // A list that cannot be exported (gone meanwhile, or absurdly large) is left out.
    Status = Status == EFI_NOT_FOUND ? EFI_SUCCESS
                                     : EFI_ERROR(Status) ? Status : AddPackageList(List, Handles[Index], Exported.Get(), Size);
  }
  StringReader Titles(Strings);
  for (UINTN Index = 0; !EFI_ERROR(Status) && Index < List->Sets.Count(); Index++) {
    FORM_SET_ENTRY &Set = List->Sets[Index];
    Status = Titles.Read(Set.Handle, Set.TitleId, Set.Title, kTitleLength);
  }
  for (UINTN Index = 0; !EFI_ERROR(Status) && Index < List->Forms.Count(); Index++) {
    FORM_ENTRY &Form = List->Forms[Index];
    Status = Titles.Read(List->Sets[Form.Set].Handle, Form.TitleId, Form.Title, kTitleLength);
  }
  return Status;
}

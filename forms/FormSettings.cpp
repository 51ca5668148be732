#include "forms/FormSettings.h"

#include "forms/ConfigString.h"
#include "forms/FormIndex.h"
#include "forms/FormQuestions.h"
#include "forms/LittleEndian.h"
#include "forms/SettingText.h"
#include "platform/CaptureClock.h"
#include "platform/DevicePath.h"
#include "platform/Firmware.h"
#include "platform/Library.h"
#include "platform/Protocol.h"

namespace {

// A store larger than this is no page's; more stores than this in one form
// set are not read.
constexpr UINTN kLargestStore = 64 * UINTN{1024};
constexpr UINTN kMostStores = 32;
constexpr UINTN kSettingsFormat = 1;

struct STORE_DATA {
  PoolBuffer<UINT8> Bytes;
  PoolBuffer<UINT8> Covered;  // for a driver's buffer: which bytes its response gave
  UINTN Size = 0;
  PoolBuffer<CHAR16> Response;  // for named values
  ConfigRequest Header;
  EFI_STATUS Status = EFI_NOT_STARTED;
};

}  // namespace

struct FormSettings::SET_READING {
  UINTN Set = 0;
  EFI_HII_HANDLE Handle = nullptr;
  PoolBuffer<UINT8> Exported;
  FormQuestions Questions;
  const UINT8 *Path = nullptr;  // the driver's device path, with its end
  UINTN PathBytes = 0;
  STORE_DATA Stores[kMostStores];
  PoolBuffer<ITEM_VALUE> Values;
  PoolVector<UINTN> Unevaluated;  // expressions counted as not evaluated
};

FormSettings::FormSettings(EFI_HII_DATABASE_PROTOCOL *Database, EFI_HII_STRING_PROTOCOL *Strings,
                           EFI_HII_CONFIG_ROUTING_PROTOCOL *Routing, const FormList *List, BOOLEAN ShowStrings)
    : mDatabase(Database), mRouting(Routing), mList(List), mStrings(Strings), mShowStrings(ShowStrings) {}

VOID FormSettings::Begin(const CHAR16 *Vendor, UINT32 Revision, UINT32 UefiRevision, const EFI_TIME *Time) {
  mJson.Ascii("{\n\"format\": ");
  mJson.Decimal(kSettingsFormat);
  mJson.Ascii(",\n\"tool\": \"Vistrel " VISTREL_VERSION "\",\n\"firmware\": ");
  mJson.Json(Vendor);
  mJson.Ascii(",\n\"revisions\": \"");
  mJson.Revisions(Revision, UefiRevision, ", ");
  mJson.Put('"');
  mJson.Ascii(",\n\"time\": ");
  if (Time != nullptr) {
    mJson.Put('"');
    mJson.Time(*Time, ' ');
    mJson.Put('"');
  } else {
    mJson.Ascii("null");
  }
  mJson.Ascii(",\n\"formSets\": [");
  mText.Ascii("Vistrel " VISTREL_VERSION ": every setting of the walked forms, ");
  mText.Text(Vendor, FALSE);
  mText.Ascii(", ");
  mText.Revisions(Revision, UefiRevision, ", ");
  if (Time != nullptr) {
    mText.Ascii(", ");
    mText.Time(*Time, ' ');
  }
  mText.Ascii("\r\n");
}

VOID FormSettings::ReadStores(SET_READING *Reading) {
  FormQuestions &Questions = Reading->Questions;
  for (UINTN Index = 0; Index < Questions.Stores.Count() && Index < kMostStores; Index++) {
    const STORE_ENTRY &Store = Questions.Stores[Index];
    STORE_DATA &Data = Reading->Stores[Index];
    if (Store.Kind == STORE_KIND::Unhandled) {
      Data.Status = EFI_UNSUPPORTED;
      continue;
    }
    if (Store.Kind == STORE_KIND::Efi) {
      UINTN Size = Store.Size == 0 ? 1 : Store.Size;
      for (int Attempt = 0; Attempt < 2; Attempt++) {
        Data.Bytes = PoolBuffer<UINT8>::Allocate(Size);
        Data.Size = Size;
        Data.Status = Data.Bytes ? ReadVariable(Store.Name, Store.Guid, Data.Bytes.Get(), &Data.Size)
                                 : EFI_OUT_OF_RESOURCES;
        if (Data.Status != EFI_BUFFER_TOO_SMALL || Data.Size > kLargestStore) {
          break;
        }
        Size = Data.Size;  // the variable is larger than its form says
      }
      if (!EFI_ERROR(Data.Status) && Data.Size > Size) {
        Data.Status = EFI_PROTOCOL_ERROR;
      }
      continue;
    }
    // A driver's store: asked through the routing protocol, named by its
    // driver's device path.
    if (mRouting == nullptr || Reading->Path == nullptr) {
      Data.Status = EFI_UNSUPPORTED;
      continue;
    }
    const BOOLEAN Named = Store.Kind == STORE_KIND::NameValue;
    Data.Header.Header(Store.Guid, Named ? nullptr : Store.Name, Reading->Path, Reading->PathBytes);
    ConfigRequest Request;
    Request.Header(Store.Guid, Named ? nullptr : Store.Name, Reading->Path, Reading->PathBytes);
    if (Named) {
      for (UINTN Item = 0; Item < Questions.Items.Count(); Item++) {
        const ITEM_ENTRY &Entry = Questions.Items[Item];
        CHAR16 Name[kNameLength];
        if (HoldsValue(Entry.Kind) && Entry.StoreId == Store.Id &&
            !EFI_ERROR(mStrings.Read(Reading->Handle, Entry.StoreInfo, Name, kNameLength)) && Name[0] != 0) {
          Request.Element(Name);
        }
      }
    } else if (Store.Size == 0 || Store.Size > kLargestStore) {
      Data.Status = EFI_BAD_BUFFER_SIZE;
      continue;
    }
    // A buffer's header alone, as the form browser asks: EDK II's routing
    // then asks the driver for each question's bytes that its forms name.
    if (Request.Text() == nullptr || Data.Header.Text() == nullptr) {
      Data.Status = EFI_OUT_OF_RESOURCES;
      continue;
    }
    CHAR16 *Progress = nullptr;
    CHAR16 *Results = nullptr;
    Data.Status = mRouting->ExtractConfig(mRouting, Request.Text(), &Progress, &Results);
    Data.Response = PoolBuffer<CHAR16>(Results);
    if (!EFI_ERROR(Data.Status) && !Data.Response) {
      Data.Status = EFI_PROTOCOL_ERROR;
    }
    if (EFI_ERROR(Data.Status) || Named) {
      continue;
    }
    Data.Size = Store.Size;
    Data.Bytes = PoolBuffer<UINT8>::Allocate(Data.Size);
    Data.Covered = PoolBuffer<UINT8>::Allocate(Data.Size);
    Data.Status = !Data.Bytes || !Data.Covered
                      ? EFI_OUT_OF_RESOURCES
                      : ParseBlockResponse(Data.Response.Get(), Data.Header.Text(), Data.Bytes.Get(),
                                           Data.Covered.Get(), Data.Size);
    Data.Response = PoolBuffer<CHAR16>();
  }
}

VOID FormSettings::ReadValues(SET_READING *Reading) {
  FormQuestions &Questions = Reading->Questions;
  for (UINTN Index = 0; Index < Questions.Items.Count(); Index++) {
    const ITEM_ENTRY &Item = Questions.Items[Index];
    ITEM_VALUE &Value = Reading->Values[Index];
    Value.State = VALUE_STATE::None;
    if (!HoldsValue(Item.Kind)) {
      continue;
    }
    const BOOLEAN Clock = (Item.Kind == ITEM_KIND::Date || Item.Kind == ITEM_KIND::Time) &&
                          (Item.StoreId == 0 || (Item.Flags & kIfrDateTimeStorageMask) != kIfrDateTimeStorageNormal);
    if (Item.Kind == ITEM_KIND::Password) {
      Value.State = VALUE_STATE::Password;
      continue;
    }
    if (Item.BitField) {
      Value.State = VALUE_STATE::BitField;
      continue;
    }
    if (Clock) {
      // The clock, as the page shows it (a wake-up time is the driver's).
      EFI_TIME Now;
      if ((Item.Flags & kIfrDateTimeStorageMask) > 0x10) {
        Value.State = VALUE_STATE::NoStorage;
      } else if (!ReadCaptureTime(&Now)) {
        Value.State = VALUE_STATE::Unreadable;
        Value.Status = EFI_DEVICE_ERROR;
      } else {
        const UINT8 Date[] = {static_cast<UINT8>(Now.Year), static_cast<UINT8>(Now.Year >> 8), Now.Month, Now.Day};
        const UINT8 Time[] = {Now.Hour, Now.Minute, Now.Second, 0};
        CopyMem(Value.Small, Item.Kind == ITEM_KIND::Date ? Date : Time, 4);
        Value.State = VALUE_STATE::Read;
        Value.Bytes = Value.Small;
        Value.Width = Item.Width;
        Value.Number = ReadLittle(Value.Small, Item.Width);
      }
      continue;
    }
    if (Item.StoreId == 0) {
      Value.State = VALUE_STATE::NoStorage;
      continue;
    }
    UINTN StoreIndex = 0;
    while (StoreIndex < Questions.Stores.Count() && Questions.Stores[StoreIndex].Id != Item.StoreId) {
      StoreIndex++;
    }
    if (StoreIndex >= Questions.Stores.Count() || StoreIndex >= kMostStores) {
      Value.State = VALUE_STATE::Unreadable;
      Value.Status = EFI_NOT_FOUND;
      continue;
    }
    const STORE_DATA &Data = Reading->Stores[StoreIndex];
    const STORE_KIND Kind = Questions.Stores[StoreIndex].Kind;
    if (Data.Status == EFI_NOT_FOUND && Kind == STORE_KIND::Efi) {
      Value.State = VALUE_STATE::NotSet;
    } else if (Data.Status == EFI_PROTOCOL_ERROR) {
      Value.State = VALUE_STATE::Malformed;
    } else if (Kind == STORE_KIND::Unhandled) {
      Value.State = VALUE_STATE::Unhandled;
    } else if (EFI_ERROR(Data.Status)) {
      Value.State = VALUE_STATE::Unreadable;
      Value.Status = Data.Status;
    } else if (Kind == STORE_KIND::NameValue) {
      CHAR16 Name[kNameLength];
      UINTN Width = 0;
      EFI_STATUS Status = mStrings.Read(Reading->Handle, Item.StoreInfo, Name, kNameLength);
      Status = EFI_ERROR(Status) ? Status : ParseNamedValue(Data.Response.Get(), Data.Header.Text(), Name, Value.Small,
                                                           sizeof(Value.Small), &Width);
      Value.State = Status == EFI_NOT_FOUND      ? VALUE_STATE::Uncovered
                    : Status == EFI_PROTOCOL_ERROR ? VALUE_STATE::Malformed
                    : EFI_ERROR(Status)            ? VALUE_STATE::Unreadable
                                                   : VALUE_STATE::Read;
      Value.Status = Status;
      Value.Bytes = Value.Small;
      Value.Width = Width;
      Value.Number = ReadLittle(Value.Small, Width);
    } else if (Item.Width == 0 || Item.StoreInfo > Data.Size || Item.Width > Data.Size - Item.StoreInfo) {
      Value.State = VALUE_STATE::Outside;
    } else {
      Value.State = VALUE_STATE::Read;
      for (UINTN Byte = 0; Data.Covered && Byte < Item.Width; Byte++) {
        Value.State = Data.Covered[Item.StoreInfo + Byte] == 0 ? VALUE_STATE::Uncovered : Value.State;
      }
      Value.Bytes = Data.Bytes.Get() + Item.StoreInfo;
      Value.Width = Item.Width;
      Value.Number = ReadLittle(Value.Bytes, Item.Width < 8 ? Item.Width : 8);
    }
  }
}

EFI_STATUS FormSettings::Write(SET_READING *Reading, const BOOLEAN *Included) {
  const FORM_SET_ENTRY &Set = mList->Sets[Reading->Set];
  const FormQuestions &Questions = Reading->Questions;
  const SET_VIEW View = {&Questions, Reading->Values.Get(), Reading->Handle, &mStrings,
                         mShowStrings, Reading->Path, Reading->PathBytes};
  BOOLEAN First = TRUE;
  for (UINTN Index = 0; Index < Questions.Items.Count(); Index++) {
    // Its form, among those the walk covered.
    UINTN Form = Set.FirstForm;
    while (Form < Set.FirstForm + Set.FormCount && mList->Forms[Form].FormId != Questions.Items[Index].Form) {
      Form++;
    }
    if (Form == Set.FirstForm + Set.FormCount || !Included[Form - Set.FirstForm]) {
      continue;
    }
    BOOLEAN Told = FALSE;
    const EFI_STATUS Status = TellSetting(View, Index, Set.Title, mList->Forms[Form].Title, First,
                                          &Reading->Unevaluated, &mSummary, &mText, &mJson, &Told);
    if (EFI_ERROR(Status)) {
      return Status;
    }
    First = First && !Told;
  }
  return mText.Failed() || mJson.Failed() ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS FormSettings::Read(UINTN Set, const BOOLEAN *Included) {
  const FORM_SET_ENTRY &Entry = mList->Sets[Set];
  SET_READING Reading;
  Reading.Set = Set;
  Reading.Handle = Entry.Handle;
  UINTN Size = 0;
  EFI_STATUS Status = ExportPackageList(mDatabase, Entry.Handle, &Reading.Exported, &Size);
  if (!EFI_ERROR(Status)) {
    Status = ReadFormQuestions(Reading.Exported.Get(), Size, Entry.FormSetGuid, &Reading.Questions);
  }
  if (Status == EFI_OUT_OF_RESOURCES) {
    return Status;
  }
  EFI_HANDLE Driver = nullptr;
  if (mDatabase->GetPackageListHandle != nullptr &&
      !EFI_ERROR(mDatabase->GetPackageListHandle(mDatabase, Entry.Handle, &Driver)) &&
      !HandleDevicePath(Driver, &Reading.Path, &Reading.PathBytes)) {
    Reading.Path = nullptr;
  }
  mJson.Ascii(mFirstSet ? "\n{\"guid\": \"" : ",\n{\"guid\": \"");
  mFirstSet = FALSE;
  mJson.Guid(Entry.FormSetGuid);
  mJson.Ascii("\", \"title\": ");
  mJson.Json(Entry.Title);
  mJson.Ascii(", \"devicePath\": \"");
  if (Reading.Path != nullptr) {
    AppendHex(&mJson, Reading.Path, Reading.PathBytes);
  }
  mJson.Ascii("\", \"note\": ");
  if (EFI_ERROR(Status)) {
    // The listing read it, but the list changed since or breaks a rule now.
    const char *Why = Status == EFI_NOT_FOUND ? "its forms are no longer in the HII database"
                                              : "its forms break the IFR's rules: skipped";
    mJson.Put('"');
    mJson.Ascii(Why);
    mJson.Ascii("\", \"items\": []}");
    mText.Text(Entry.Title, FALSE);
    mText.Ascii(": not read, ");
    mText.Ascii(Why);
    mText.Ascii("\r\n");
    return mText.Failed() || mJson.Failed() ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
  }
  mJson.Ascii("null, \"items\": [");
  Reading.Values = PoolBuffer<ITEM_VALUE>::Allocate(Reading.Questions.Items.Count() + 1);
  if (!Reading.Values) {
    return EFI_OUT_OF_RESOURCES;
  }
  ReadStores(&Reading);
  ReadValues(&Reading);
  Status = Write(&Reading, Included);
  mJson.Ascii("]}");
  return EFI_ERROR(Status) || mJson.Failed() ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

EFI_STATUS FormSettings::Finish(EFI_FILE_PROTOCOL *Folder) {
  mJson.Ascii("\n]\n}\n");
  const EFI_STATUS Text = SaveText(Folder, STR16("settings.txt"), mText);
  const EFI_STATUS Json = SaveText(Folder, STR16("settings.json"), mJson);
  return EFI_ERROR(Text) ? Text : Json;
}

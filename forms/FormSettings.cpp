#include "forms/FormSettings.h"

#include "fileio/FolderWriter.h"
#include "forms/ConfigString.h"
#include "forms/FormIndex.h"
#include "forms/FormQuestions.h"
#include "forms/LittleEndian.h"
#include "platform/CaptureClock.h"
#include "platform/DevicePath.h"
#include "platform/Firmware.h"
#include "platform/Library.h"
#include "platform/Protocol.h"

namespace {

// A store larger than this is no page's; more stores than this in one form
// set, or longer texts, are cut.
constexpr UINTN kLargestStore = 64 * UINTN{1024};
constexpr UINTN kMostStores = 32;
constexpr UINTN kSettingTextLength = 256;
constexpr UINTN kValueLength = 512;
constexpr UINTN kNameLength = 64;
constexpr UINTN kSettingsFormat = 1;

// A value as text, in UCS-2 so that firmware strings go in unchanged; cut,
// never overrun, at kValueLength.
class Wide {
 public:
  VOID Put(CHAR16 Character) {
    if (mUsed + 1 < kValueLength) {
      mText[mUsed++] = Character;
      mText[mUsed] = 0;
    }
  }
  VOID Ascii(const char *Text) {
    for (; *Text != 0; Text++) {
      Put(static_cast<CHAR16>(*Text));
    }
  }
  VOID Text(const CHAR16 *Text) {
    for (; *Text != 0; Text++) {
      Put(*Text);
    }
  }
  VOID Decimal(UINT64 Value, UINTN Digits = 1) {
    CHAR16 Reversed[20];
    UINTN Count = 0;
    do {
      Reversed[Count++] = static_cast<CHAR16>('0' + Value % 10);
      Value /= 10;
    } while ((Value != 0 || Count < Digits) && Count < 20);
    while (Count > 0) {
      Put(Reversed[--Count]);
    }
  }
  VOID Hex(UINT64 Value) {
    Ascii("0x");
    BOOLEAN Started = FALSE;
    for (int Shift = 60; Shift >= 0; Shift -= 4) {
      const UINTN Digit = (Value >> Shift) & 0xF;
      Started = Started || Digit != 0 || Shift == 0;
      if (Started) {
        Put(static_cast<CHAR16>("0123456789ABCDEF"[Digit]));
      }
    }
  }
  const CHAR16 *Get() const { return mText; }

 private:
  CHAR16 mText[kValueLength] = {};
  UINTN mUsed = 0;
};

enum class VALUE_STATE : UINT8 {
  Read,
  NotSet,      // an EFI variable that does not exist
  NoStorage,   // the driver keeps it
  Unreadable,  // its store's reading failed: Status says how
  Malformed,   // its store's response broke a rule and was skipped
  Outside,     // past its store's end
  Uncovered,   // the response left it out
  Password,
  BitField,
  Unhandled,  // a store kind not read
  None,       // a statement, an action or a link
};

struct ITEM_VALUE {
  VALUE_STATE State;
  EFI_STATUS Status;
  const UINT8 *Bytes;  // Width bytes, little-endian
  UINTN Width;
  UINT64 Number;  // the first eight bytes
  UINT8 Small[8];  // a named value's or the clock's bytes
};

struct STORE_DATA {
  PoolBuffer<UINT8> Bytes;
  PoolBuffer<UINT8> Covered;  // for a driver's buffer: which bytes its response gave
  UINTN Size = 0;
  PoolBuffer<CHAR16> Response;  // for named values
  ConfigRequest Header;
  EFI_STATUS Status = EFI_NOT_STARTED;
};

// In ITEM_KIND's order.
const char *KindName(ITEM_KIND Kind) {
  static const char *const kNames[] = {"subtitle", "text",         "reset", "checkbox", "one-of",   "numeric", "string",
                                       "ordered-list", "date",     "time",  "password", "action", "link"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<UINTN>(ITEM_KIND::Link) + 1, "a name per kind");
  return kNames[static_cast<UINTN>(Kind)];
}

const char *StoreKindName(STORE_KIND Kind) {
  switch (Kind) {
    case STORE_KIND::Buffer: return "buffer";
    case STORE_KIND::NameValue: return "name-value";
    case STORE_KIND::Efi: return "efi";
    default: return "unhandled";
  }
}

VOID HexBytes(TextBuffer *Out, const UINT8 *Bytes, UINTN Count) {
  for (UINTN Index = 0; Index < Count; Index++) {
    Out->Put("0123456789abcdef"[Bytes[Index] >> 4]);
    Out->Put("0123456789abcdef"[Bytes[Index] & 0xF]);
  }
}

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

namespace {

// What telling one form set's values needs.
struct SET_VIEW {
  const FormQuestions *Questions;
  const ITEM_VALUE *Values;
  EFI_HII_HANDLE Handle;
  StringReader *Strings;
  BOOLEAN ShowStrings;
};

// A question's value as its page's conditions see it: the value read, or
// the default an absent variable leaves.
QUESTION_VALUE LookUpValue(VOID *Context, UINT16 QuestionId) {
  const auto *View = static_cast<const SET_VIEW *>(Context);
  for (UINTN Index = 0; Index < View->Questions->Items.Count(); Index++) {
    const ITEM_ENTRY &Item = View->Questions->Items[Index];
    const ITEM_VALUE &Value = View->Values[Index];
    if (!HoldsValue(Item.Kind) || Item.QuestionId != QuestionId) {
      continue;
    }
    if (Value.State == VALUE_STATE::Read && Value.Width <= 8) {
      return {TRUE, Value.Number};
    }
    if (Value.State == VALUE_STATE::NotSet && Item.Default == DEFAULT_SOURCE::Constant) {
      return {TRUE, Item.DefaultValue};
    }
    return {FALSE, 0};
  }
  return {FALSE, 0};
}

// The conditions around an item as its page would apply them.
constexpr UINTN kMostBlockers = 8;
struct JUDGED {
  BOOLEAN Hidden = FALSE, Greyed = FALSE, Disabled = FALSE, Unknown = FALSE;
  EXPRESSION_RESULT Blockers[kMostBlockers] = {};
  UINTN BlockerCount = 0;
};

// Unevaluated holds the expressions already found not evaluated in this
// form set; *NewlyUnknown counts those found here for the first time.
JUDGED Judge(const SET_VIEW &View, const ITEM_ENTRY &Item, PoolVector<UINTN> *Unevaluated, UINTN *NewlyUnknown) {
  JUDGED Judged;
  const FormQuestions &Questions = *View.Questions;
  for (UINTN Condition = 0; Condition < Item.ConditionCount; Condition++) {
    const CONDITION_ENTRY &Entry = Questions.Conditions[Item.FirstCondition + Condition];
    const EXPRESSION_RESULT Result =
        EvaluateCondition(Questions.Ifr + Entry.Expression, Entry.Length, LookUpValue, const_cast<SET_VIEW *>(&View));
    if (Result.Verdict == VERDICT::True) {
      Judged.Hidden = Judged.Hidden || Entry.Kind == CONDITION_KIND::SuppressIf;
      Judged.Greyed = Judged.Greyed || Entry.Kind == CONDITION_KIND::GrayOutIf;
      Judged.Disabled = Judged.Disabled || Entry.Kind == CONDITION_KIND::DisableIf;
      continue;
    }
    if (Result.Verdict != VERDICT::NotEvaluated) {
      continue;
    }
    Judged.Unknown = TRUE;
    if (Judged.BlockerCount < kMostBlockers) {
      Judged.Blockers[Judged.BlockerCount++] = Result;
    }
    BOOLEAN Counted = FALSE;
    for (UINTN Seen = 0; Seen < Unevaluated->Count(); Seen++) {
      Counted = Counted || (*Unevaluated)[Seen] == Entry.Expression;
    }
    UINTN *Noted = Counted ? nullptr : Unevaluated->Append();
    if (Noted != nullptr) {
      *Noted = Entry.Expression;
      (*NewlyUnknown)++;
    }
  }
  return Judged;
}

// An item's value and default as its page would show them.
struct SHOWN {
  Wide Value;  // as the page shows it, or why it was not read
  Wide Raw;    // the number, or empty
  Wide Default;
  BOOLEAN Known = FALSE;  // Value is a value read
  BOOLEAN HasRaw = FALSE;
  BOOLEAN Differs = FALSE;
  BOOLEAN DefaultKnown = FALSE;
};

BOOLEAN IsNumbered(ITEM_KIND Kind) {
  return Kind == ITEM_KIND::Checkbox || Kind == ITEM_KIND::OneOf || Kind == ITEM_KIND::Numeric ||
         Kind == ITEM_KIND::Date || Kind == ITEM_KIND::Time;
}

// The text of Item's option of value Number; FALSE when none has it.
BOOLEAN ShowOption(const SET_VIEW &View, const ITEM_ENTRY &Item, UINT64 Number, Wide *Out) {
  CHAR16 Option[kSettingTextLength];
  for (UINTN Each = 0; Each < Item.OptionCount; Each++) {
    const OPTION_ENTRY &Entry = View.Questions->Options[Item.FirstOption + Each];
    if (Entry.Value == Number && !EFI_ERROR(View.Strings->Read(View.Handle, Entry.Text, Option, kSettingTextLength))) {
      Out->Text(Option);
      return TRUE;
    }
  }
  return FALSE;
}

VOID ShowNumber(const SET_VIEW &View, const ITEM_ENTRY &Item, UINT64 Number, Wide *Out) {
  switch (Item.Kind) {
    case ITEM_KIND::Checkbox:
      Out->Ascii(Number != 0 ? "[X]" : "[ ]");
      return;
    case ITEM_KIND::OneOf:
      if (!ShowOption(View, Item, Number, Out)) {
        Out->Decimal(Number);
        Out->Ascii(" (no option has it)");
      }
      return;
    case ITEM_KIND::Date:
      Out->Decimal(Number & 0xFFFF, 4);
      Out->Put('-');
      Out->Decimal((Number >> 16) & 0xFF, 2);
      Out->Put('-');
      Out->Decimal((Number >> 24) & 0xFF, 2);
      return;
    case ITEM_KIND::Time:
      Out->Decimal(Number & 0xFF, 2);
      Out->Put(':');
      Out->Decimal((Number >> 8) & 0xFF, 2);
      Out->Put(':');
      Out->Decimal((Number >> 16) & 0xFF, 2);
      return;
    default:
      if ((Item.Flags & kIfrDisplayMask) == kIfrDisplayHex) {
        Out->Hex(Number);
      } else if ((Item.Flags & kIfrDisplayMask) == kIfrDisplaySigned && Item.Width < 8 &&
                 (Number >> (8 * Item.Width - 1)) != 0) {
        Out->Put('-');
        Out->Decimal((UINT64{1} << (8 * Item.Width)) - Number);
      } else if ((Item.Flags & kIfrDisplayMask) == kIfrDisplaySigned && Item.Width == 8 && (Number >> 63) != 0) {
        Out->Put('-');
        Out->Decimal(~Number + 1);
      } else {
        Out->Decimal(Number);
      }
      return;
  }
}

// A value read: a number, a string, an ordered list, or bytes.
VOID ShowRead(const SET_VIEW &View, const ITEM_ENTRY &Item, const ITEM_VALUE &Value, SHOWN *Shown) {
  Shown->Known = TRUE;
  if (IsNumbered(Item.Kind) && Value.Width <= 8) {
    ShowNumber(View, Item, Value.Number, &Shown->Value);
    Shown->HasRaw = TRUE;
    if (Item.Kind == ITEM_KIND::Date || Item.Kind == ITEM_KIND::Time) {
      Shown->Raw.Text(Shown->Value.Get());
    } else {
      Shown->Raw.Decimal(Value.Number);
    }
  } else if (Item.Kind == ITEM_KIND::String) {
    UINTN Characters = 0;
    while (Characters < Value.Width / 2 && ReadLittle(Value.Bytes + 2 * Characters, 2) != 0) {
      Characters++;
    }
    if (View.ShowStrings) {
      for (UINTN Each = 0; Each < Characters; Each++) {
        Shown->Value.Put(static_cast<CHAR16>(ReadLittle(Value.Bytes + 2 * Each, 2)));
      }
    } else {
      Shown->Value.Put('(');
      Shown->Value.Decimal(Characters);
      Shown->Value.Ascii(Characters == 1 ? " character)" : " characters)");
    }
  } else if (Item.Kind == ITEM_KIND::OrderedList && Item.Maximum != 0 &&
             Value.Width % static_cast<UINTN>(Item.Maximum) == 0 &&
             Value.Width / static_cast<UINTN>(Item.Maximum) <= 8) {
    // Its containers (at most 255, a byte in its opcode) share its width.
    const UINTN Containers = static_cast<UINTN>(Item.Maximum);
    const UINTN Each = Value.Width / Containers;
    Shown->HasRaw = TRUE;
    for (UINTN Slot = 0; Slot < Containers; Slot++) {
      const UINT64 Number = ReadLittle(Value.Bytes + Slot * Each, Each);
      if (Number == 0) {
        break;  // an ordered list ends at its first zero
      }
      Shown->Value.Ascii(Slot == 0 ? "" : ", ");
      Shown->Raw.Ascii(Slot == 0 ? "" : ",");
      Shown->Raw.Decimal(Number);
      if (!ShowOption(View, Item, Number, &Shown->Value)) {
        Shown->Value.Decimal(Number);
      }
    }
  } else {
    // Wider than a number: its bytes as hex, last first, as HII writes them.
    Shown->HasRaw = TRUE;
    Shown->Raw.Ascii("0x");
    for (UINTN Byte = Value.Width; Byte > 0 && Byte > Value.Width - 64; Byte--) {
      Shown->Raw.Put(static_cast<CHAR16>("0123456789ABCDEF"[Value.Bytes[Byte - 1] >> 4]));
      Shown->Raw.Put(static_cast<CHAR16>("0123456789ABCDEF"[Value.Bytes[Byte - 1] & 0xF]));
    }
    Shown->Value.Text(Shown->Raw.Get());
  }
}

// Why a value was not read, as the files say it.
const char *WhyNotRead(VALUE_STATE State) {
  switch (State) {
    case VALUE_STATE::NotSet: return "not set (the page shows its default)";
    case VALUE_STATE::NoStorage: return "not read (kept by the page's driver)";
    case VALUE_STATE::Password: return "not read (a password)";
    case VALUE_STATE::BitField: return "not read (stored as bit fields)";
    case VALUE_STATE::Unhandled: return "not read (a store kind not read)";
    case VALUE_STATE::Malformed: return "not readable (a malformed response was skipped)";
    case VALUE_STATE::Outside: return "not readable (outside its store)";
    case VALUE_STATE::Uncovered: return "not readable (the response leaves it out)";
    default: return "";
  }
}

SHOWN Show(const SET_VIEW &View, const ITEM_ENTRY &Item, const ITEM_VALUE &Value) {
  SHOWN Shown;
  if (Value.State == VALUE_STATE::Read) {
    ShowRead(View, Item, Value, &Shown);
  } else if (Value.State == VALUE_STATE::Unreadable) {
    CHAR16 Name[kStatusTextLength];
    StatusText(Value.Status, Name, kStatusTextLength);
    Shown.Value.Ascii("not readable (");
    Shown.Value.Text(Name);
    Shown.Value.Put(')');
  } else {
    Shown.Value.Ascii(WhyNotRead(Value.State));
  }
  if (Item.Default == DEFAULT_SOURCE::Constant && IsNumbered(Item.Kind)) {
    Shown.DefaultKnown = TRUE;
    ShowNumber(View, Item, Item.DefaultValue, &Shown.Default);
    const UINT64 Mask = Value.Width >= 8 ? ~UINT64{0} : (UINT64{1} << (8 * Value.Width)) - 1;
    Shown.Differs = Shown.Known && Shown.HasRaw && (Value.Number & Mask) != (Item.DefaultValue & Mask);
  } else if (Item.Default == DEFAULT_SOURCE::Constant) {
    Shown.DefaultKnown = TRUE;
    Shown.Default.Decimal(Item.DefaultValue);
  } else {
    Shown.Default.Ascii(Item.Default == DEFAULT_SOURCE::Expression ? "not evaluated" : "none");
  }
  return Shown;
}

// An item's strings, each bounded.
struct ITEM_TEXTS {
  CHAR16 Prompt[kSettingTextLength];
  CHAR16 Help[kSettingTextLength];
  CHAR16 Second[kSettingTextLength];  // a text statement's second string
};

// settings.txt's line for an item.
VOID AppendLine(TextBuffer *Text, const CHAR16 *SetTitle, const CHAR16 *FormTitle, const ITEM_ENTRY &Item,
                const ITEM_TEXTS &Texts, const SHOWN &Shown, const JUDGED &Judged) {
  Text->Text(SetTitle, FALSE);
  Text->Ascii(" > ");
  Text->Text(FormTitle, FALSE);
  Text->Ascii(" > ");
  Text->Text(Texts.Prompt, FALSE);
  if (HoldsValue(Item.Kind)) {
    Text->Ascii(" = ");
    Text->Text(Shown.Value.Get(), FALSE);
    Text->Ascii(" (default ");
    Text->Text(Shown.Default.Get(), FALSE);
    Text->Ascii(Shown.Differs ? ") *" : ")");
  } else if (Item.Kind == ITEM_KIND::Text && Item.TextTwo != 0) {
    Text->Ascii(": ");
    Text->Text(Texts.Second, FALSE);
  } else if (Item.Kind == ITEM_KIND::Action) {
    Text->Ascii(" (an action)");
  } else if (Item.Kind == ITEM_KIND::Reset) {
    Text->Ascii(" (a button that restores defaults)");
  } else if (Item.Kind == ITEM_KIND::Link) {
    Text->Ascii(" (a link to another form)");
  }
  Text->Ascii(Judged.Hidden ? " [hidden]" : "");
  Text->Ascii(Judged.Greyed ? " [greyed]" : "");
  Text->Ascii(Judged.Disabled ? " [disabled]" : "");
  Text->Ascii(Judged.Unknown ? " [not evaluated]" : "");
  Text->Ascii("\r\n");
}

// settings.json's record for an item: every field.
EFI_STATUS AppendRecord(TextBuffer *Json, const SET_VIEW &View, const CHAR16 *FormTitle, const ITEM_ENTRY &Item,
                        const ITEM_TEXTS &Texts, const SHOWN &Shown, const JUDGED &Judged, const UINT8 *Path,
                        UINTN PathBytes) {
  const FormQuestions &Questions = *View.Questions;
  CHAR16 Option[kSettingTextLength];
  Json->Ascii("\"form\": ");
  Json->Decimal(Item.Form);
  Json->Ascii(", \"formTitle\": ");
  Json->Json(FormTitle);
  Json->Ascii(", \"kind\": \"");
  Json->Ascii(KindName(Item.Kind));
  Json->Ascii("\", \"id\": ");
  if (IsQuestion(Item.Kind)) {
    Json->Decimal(Item.QuestionId);
  } else {
    Json->Ascii("null");
  }
  Json->Ascii(", \"prompt\": ");
  Json->Json(Texts.Prompt);
  Json->Ascii(", \"help\": ");
  Json->Json(Texts.Help);
  UINTN StoreIndex = 0;
  while (StoreIndex < Questions.Stores.Count() && Questions.Stores[StoreIndex].Id != Item.StoreId) {
    StoreIndex++;
  }
  Json->Ascii(", \"store\": ");
  if (Item.StoreId != 0 && StoreIndex < Questions.Stores.Count() && HoldsValue(Item.Kind)) {
    const STORE_ENTRY &Store = Questions.Stores[StoreIndex];
    Json->Ascii("{\"kind\": \"");
    Json->Ascii(StoreKindName(Store.Kind));
    Json->Ascii("\", \"guid\": \"");
    Json->Guid(Store.Guid);
    Json->Ascii("\", \"name\": ");
    Json->Json(Store.Name);
    Json->Ascii(", \"devicePath\": \"");
    if (Store.Kind != STORE_KIND::Efi && Path != nullptr) {
      HexBytes(Json, Path, PathBytes);
    }
    Json->Ascii("\"}");
    if (Store.Kind == STORE_KIND::NameValue) {
      CHAR16 Name[kNameLength];
      Json->Ascii(", \"offset\": null, \"name\": ");
      Json->Json(EFI_ERROR(View.Strings->Read(View.Handle, Item.StoreInfo, Name, kNameLength)) ? STR16("") : Name);
    } else {
      Json->Ascii(", \"offset\": ");
      Json->Decimal(Item.StoreInfo);
      Json->Ascii(", \"name\": null");
    }
  } else {
    Json->Ascii("null, \"offset\": null, \"name\": null");
  }
  Json->Ascii(", \"width\": ");
  Json->Decimal(Item.Width);
  if (Item.Kind == ITEM_KIND::Numeric) {
    Json->Ascii(", \"numeric\": {\"base\": ");
    Json->Decimal((Item.Flags & kIfrDisplayMask) == kIfrDisplayHex ? 16 : 10);
    Json->Ascii(", \"signed\": ");
    Json->Ascii((Item.Flags & kIfrDisplayMask) == kIfrDisplaySigned ? "true" : "false");
    Json->Ascii(", \"minimum\": ");
    Json->Decimal(Item.Minimum);
    Json->Ascii(", \"maximum\": ");
    Json->Decimal(Item.Maximum);
    Json->Ascii(", \"step\": ");
    Json->Decimal(Item.Step);
    Json->Put('}');
  }
  if (Item.Kind == ITEM_KIND::OneOf || Item.Kind == ITEM_KIND::OrderedList) {
    Json->Ascii(", \"options\": [");
    for (UINTN Each = 0; Each < Item.OptionCount; Each++) {
      const OPTION_ENTRY &Entry = Questions.Options[Item.FirstOption + Each];
      if (EFI_ERROR(View.Strings->Read(View.Handle, Entry.Text, Option, kSettingTextLength))) {
        return EFI_OUT_OF_RESOURCES;
      }
      Json->Ascii(Each == 0 ? "{\"text\": " : ", {\"text\": ");
      Json->Json(Option);
      Json->Ascii(", \"value\": \"");
      Json->Decimal(Entry.Value);
      Json->Ascii("\"}");
    }
    Json->Put(']');
  }
  if (Item.Kind == ITEM_KIND::Link) {
    Json->Ascii(", \"linkForm\": ");
    Json->Decimal(Item.LinkForm);
  }
  if (HoldsValue(Item.Kind)) {
    Json->Ascii(", \"value\": ");
    if (Shown.Known) {
      Json->Json(Shown.Value.Get());
    } else {
      Json->Ascii("null");
    }
    Json->Ascii(", \"raw\": ");
    if (Shown.HasRaw) {
      Json->Json(Shown.Raw.Get());
    } else {
      Json->Ascii("null");
    }
    Json->Ascii(", \"notRead\": ");
    if (Shown.Known) {
      Json->Ascii("null");
    } else {
      Json->Json(Shown.Value.Get());
    }
    Json->Ascii(", \"default\": ");
    Json->Json(Shown.Default.Get());
    Json->Ascii(", \"defaultRaw\": ");
    if (Shown.DefaultKnown) {
      Json->Ascii("\"");
      Json->Decimal(Item.DefaultValue);
      Json->Ascii("\"");
    } else {
      Json->Ascii("null");
    }
    Json->Ascii(Shown.Differs ? ", \"differs\": true" : ", \"differs\": false");
  }
  Json->Ascii(", \"conditions\": [");
  const char *Flags[] = {Judged.Hidden ? "\"hidden\"" : nullptr, Judged.Greyed ? "\"greyed\"" : nullptr,
                         Judged.Disabled ? "\"disabled\"" : nullptr, Judged.Unknown ? "\"not evaluated\"" : nullptr};
  BOOLEAN FirstFlag = TRUE;
  for (const char *Flag : Flags) {
    if (Flag != nullptr) {
      Json->Ascii(FirstFlag ? "" : ", ");
      Json->Ascii(Flag);
      FirstFlag = FALSE;
    }
  }
  Json->Ascii("], \"notEvaluated\": [");
  for (UINTN Blocker = 0; Blocker < Judged.BlockerCount; Blocker++) {
    // The opcode, and the question whose value it needed when that is why.
    const EXPRESSION_RESULT &Why = Judged.Blockers[Blocker];
    Json->Ascii(Blocker == 0 ? "\"opcode 0x" : ", \"opcode 0x");
    Json->Put("0123456789ABCDEF"[Why.Blocker >> 4]);
    Json->Put("0123456789ABCDEF"[Why.Blocker & 0xF]);
    if (Why.QuestionId != 0) {
      Json->Ascii(": question ");
      Json->Decimal(Why.QuestionId);
      Json->Ascii(" not read");
    }
    Json->Put('"');
  }
  Json->Ascii("]}");
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS FormSettings::Write(SET_READING *Reading, const BOOLEAN *Included) {
  const FORM_SET_ENTRY &Set = mList->Sets[Reading->Set];
  const FormQuestions &Questions = Reading->Questions;
  const SET_VIEW View = {&Questions, Reading->Values.Get(), Reading->Handle, &mStrings, mShowStrings};
  ITEM_TEXTS Texts;
  BOOLEAN FirstItem = TRUE;
  for (UINTN Index = 0; Index < Questions.Items.Count(); Index++) {
    const ITEM_ENTRY &Item = Questions.Items[Index];
    const ITEM_VALUE &Value = Reading->Values[Index];
    // Its form, among those the walk covered.
    UINTN Form = Set.FirstForm;
    while (Form < Set.FirstForm + Set.FormCount && mList->Forms[Form].FormId != Item.Form) {
      Form++;
    }
    if (Form == Set.FirstForm + Set.FormCount || !Included[Form - Set.FirstForm]) {
      continue;
    }
    EFI_STATUS Status = mStrings.Read(Reading->Handle, Item.Prompt, Texts.Prompt, kSettingTextLength);
    Status = EFI_ERROR(Status) ? Status : mStrings.Read(Reading->Handle, Item.Help, Texts.Help, kSettingTextLength);
    Status = EFI_ERROR(Status) ? Status : mStrings.Read(Reading->Handle, Item.TextTwo, Texts.Second, kSettingTextLength);
    if (EFI_ERROR(Status)) {
      return Status;
    }
    if (!IsQuestion(Item.Kind) && Texts.Prompt[0] == 0 && Texts.Second[0] == 0) {
      continue;  // a blank line on the page
    }
    const JUDGED Judged = Judge(View, Item, &Reading->Unevaluated, &mSummary.NotEvaluated);
    const SHOWN Shown = Show(View, Item, Value);
    mSummary.Questions += IsQuestion(Item.Kind) ? 1 : 0;
    if (HoldsValue(Item.Kind)) {
      mSummary.NotRead += Value.State == VALUE_STATE::Read || Value.State == VALUE_STATE::NotSet ? 0 : 1;
      mSummary.Differing += Shown.Differs ? 1 : 0;
    }
    AppendLine(&mText, Set.Title, mList->Forms[Form].Title, Item, Texts, Shown, Judged);
    mJson.Ascii(FirstItem ? "\n  {" : ",\n  {");
    FirstItem = FALSE;
    Status = AppendRecord(&mJson, View, mList->Forms[Form].Title, Item, Texts, Shown, Judged, Reading->Path,
                          Reading->PathBytes);
    if (EFI_ERROR(Status)) {
      return Status;
    }
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
    HexBytes(&mJson, Reading.Path, Reading.PathBytes);
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

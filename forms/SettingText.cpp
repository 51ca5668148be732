#include "forms/SettingText.h"

#include "forms/LittleEndian.h"

namespace {

constexpr UINTN kValueLength = 512;

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
                        const ITEM_TEXTS &Texts, const SHOWN &Shown, const JUDGED &Judged) {
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
    if (Store.Kind != STORE_KIND::Efi && View.Path != nullptr) {
      AppendHex(Json, View.Path, View.PathBytes);
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

EFI_STATUS TellSetting(const SET_VIEW &View, UINTN Index, const CHAR16 *SetTitle, const CHAR16 *FormTitle,
                       BOOLEAN First, PoolVector<UINTN> *Unevaluated, SETTINGS_SUMMARY *Summary, TextBuffer *Text,
                       TextBuffer *Json, BOOLEAN *Told) {
  const ITEM_ENTRY &Item = View.Questions->Items[Index];
  const ITEM_VALUE &Value = View.Values[Index];
  ITEM_TEXTS Texts;
  EFI_STATUS Status = View.Strings->Read(View.Handle, Item.Prompt, Texts.Prompt, kSettingTextLength);
  Status = EFI_ERROR(Status) ? Status : View.Strings->Read(View.Handle, Item.Help, Texts.Help, kSettingTextLength);
  Status = EFI_ERROR(Status) ? Status : View.Strings->Read(View.Handle, Item.TextTwo, Texts.Second, kSettingTextLength);
  *Told = FALSE;
  if (EFI_ERROR(Status) || (!IsQuestion(Item.Kind) && Texts.Prompt[0] == 0 && Texts.Second[0] == 0)) {
    return Status;  // a blank line on the page is left out
  }
  *Told = TRUE;
  const JUDGED Judged = Judge(View, Item, Unevaluated, &Summary->NotEvaluated);
  const SHOWN Shown = Show(View, Item, Value);
  Summary->Questions += IsQuestion(Item.Kind) ? 1 : 0;
  if (HoldsValue(Item.Kind)) {
    Summary->NotRead += Value.State == VALUE_STATE::Read || Value.State == VALUE_STATE::NotSet ? 0 : 1;
    Summary->Differing += Shown.Differs ? 1 : 0;
  }
  AppendLine(Text, SetTitle, FormTitle, Item, Texts, Shown, Judged);
  Json->Ascii(First ? "\n  {" : ",\n  {");
  return AppendRecord(Json, View, FormTitle, Item, Texts, Shown, Judged);
}

VOID AppendHex(TextBuffer *Out, const UINT8 *Bytes, UINTN Count) {
  for (UINTN Index = 0; Index < Count; Index++) {
    Out->Put("0123456789abcdef"[Bytes[Index] >> 4]);
    Out->Put("0123456789abcdef"[Bytes[Index] & 0xF]);
  }
}

#include "forms/FormQuestions.h"

#include "forms/LittleEndian.h"
#include "platform/Library.h"
#include "platform/Text.h"

namespace {

// Deeper nesting than these is no page a person could read.
constexpr UINTN kDeepestConditions = 32;
constexpr UINTN kDeepestExpression = 32;

// Bytes of a value of an IFR type; 0 for types read as no number.
UINTN TypeWidth(UINT8 Type) {
  switch (Type) {
    case kIfrTypeNum8:
    case kIfrTypeBoolean:
      return 1;
    case kIfrTypeNum16:
      return 2;
    case kIfrTypeNum32:
    case kIfrTypeDate:
      return 4;
    case kIfrTypeNum64:
      return 8;
    case kIfrTypeTime:
      return 3;
    default:
      return 0;
  }
}

// The opcodes that make up expressions, as EDK II's browser tells them from
// statements: a condition's expression is the run of them after it.
BOOLEAN IsExpressionOp(UINT8 Op) {
  return (Op >= kIfrEqIdValOp && Op <= kIfrNotOp) || (Op >= 0x2A && Op <= 0x2C) || (Op >= kIfrEqualOp && Op <= 0x59) ||
         Op == 0x20 || Op == 0x21 || Op == 0x22 || Op == 0x28 || Op == 0x5E || Op == 0x60 || Op == 0x64;
}

enum class STEP { Go, Done, Malformed, OutOfResources };

class FormSetReader {
 public:
  FormSetReader(const UINT8 *Ifr, UINTN Size, FormQuestions *Questions)
      : mIfr(Ifr), mSize(Size), mQuestions(Questions) {}

  // From the form set's own opcode to its END.
  EFI_STATUS Read(UINTN Start) {
    for (UINTN At = Start; At < mSize;) {
      if (mSize - At < kIfrHeaderSize) {
        return EFI_COMPROMISED_DATA;
      }
      const UINT8 *Code = mIfr + At;
      const UINTN Length = Code[1] & kIfrLengthMask;
      if (Length < kIfrHeaderSize || Length > mSize - At) {
        return EFI_COMPROMISED_DATA;
      }
      const STEP Step = Take(At, Code, Length);
      if (Step == STEP::Malformed) {
        return EFI_COMPROMISED_DATA;
      }
      if (Step == STEP::OutOfResources) {
        return EFI_OUT_OF_RESOURCES;
      }
      if (Step == STEP::Done) {
        mQuestions->Ifr = mIfr;
        mQuestions->IfrSize = mSize;
        return EFI_SUCCESS;
      }
      At += Length;
    }
    return EFI_COMPROMISED_DATA;  // the form set never ended
  }

 private:
  STEP Take(UINTN At, const UINT8 *Code, UINTN Length) {
    const BOOLEAN Scope = (Code[1] & kIfrScopeBit) != 0;
    // A condition's expression: expression opcodes at its own depth, and
    // whatever one of them opens, to its END.
    if (mCollecting) {
      const BOOLEAN Nested = mDepth > mConditionDepths[mConditionCount - 1];
      if (Nested || (IsExpressionOp(Code[0]) && Code[0] != kIfrEndOp)) {
        CONDITION_ENTRY &Collected = mConditions[mConditionCount - 1];
        Collected.Length = At + Length - Collected.Expression;
        mDepth = Code[0] == kIfrEndOp ? mDepth - 1 : mDepth + (Scope ? 1 : 0);
        return STEP::Go;
      }
      mCollecting = FALSE;
    }
    if (Code[0] == kIfrEndOp) {
      return End();
    }
    STEP Step = STEP::Go;
    if (mDepth == 0) {
      Step = Code[0] == kIfrFormSetOp && Scope ? STEP::Go : STEP::Malformed;
    } else {
      Step = TakeInside(At, Code, Length, Scope);
    }
    mDepth += Scope && Step == STEP::Go ? 1 : 0;
    return Step;
  }

  STEP End() {
    if (mDepth == 0) {
      return STEP::Malformed;
    }
    mCollecting = FALSE;
    mDepth--;
    if (mConditionCount != 0 && mConditionDepths[mConditionCount - 1] == mDepth + 1) {
      mConditionCount--;
    }
    if (mQuestionDepth == mDepth + 1) {
      mQuestionDepth = 0;
    }
    if (mFormDepth == mDepth + 1) {
      mFormDepth = 0;
    }
    if (mBitDepth == mDepth + 1) {
      mBitDepth = 0;
    }
    return mDepth == 0 ? STEP::Done : STEP::Go;
  }

  STEP TakeInside(UINTN At, const UINT8 *Code, UINTN Length, BOOLEAN Scope) {
    switch (Code[0]) {
      case kIfrFormSetOp:
        return STEP::Malformed;
      case kIfrFormOp:
      case kIfrFormMapOp:
        if (mFormDepth != 0 || Length < kIfrFormMapSize) {
          return STEP::Malformed;
        }
        mForm = Read16(Code + kIfrFormIdOffset);
        mFormDepth = Scope ? mDepth + 1 : 0;
        return STEP::Go;
      case kIfrSuppressIfOp:
      case kIfrGrayOutIfOp:
      case kIfrDisableIfOp:
        return Scope ? OpenCondition(At, Code[0], Length) : STEP::Go;
      case kIfrGuidOp:
        if (Scope && Length >= kIfrGuidOffset + sizeof(EFI_GUID) &&
            SameGuid(ReadGuid(Code + kIfrGuidOffset), gEdkiiIfrBitVarstoreGuid) && mBitDepth == 0) {
          mBitDepth = mDepth + 1;
        }
        return STEP::Go;
      case kIfrVarStoreOp:
      case kIfrVarStoreNameValueOp:
      case kIfrVarStoreEfiOp:
        return AddStore(Code, Length);
      case kIfrOneOfOptionOp:
        return AddOption(Code, Length);
      case kIfrDefaultOp:
        return AddDefault(Code, Length, Scope);
      default:
        return AddItem(Code, Length, Scope);
    }
  }

  STEP OpenCondition(UINTN At, UINT8 Op, UINTN Length) {
    if (mConditionCount == kDeepestConditions) {
      return STEP::Malformed;
    }
    const CONDITION_KIND Kind = Op == kIfrSuppressIfOp   ? CONDITION_KIND::SuppressIf
                                : Op == kIfrGrayOutIfOp ? CONDITION_KIND::GrayOutIf
                                                        : CONDITION_KIND::DisableIf;
    mConditions[mConditionCount] = {Kind, At + Length, 0};
    mConditionDepths[mConditionCount] = mDepth + 1;
    mConditionCount++;
    mCollecting = TRUE;
    return STEP::Go;
  }

  STEP AddStore(const UINT8 *Code, UINTN Length) {
    STORE_ENTRY Store;
    UINTN NameAt = 0;
    if (Code[0] == kIfrVarStoreOp) {
      if (Length < kIfrVarStoreNameOffset) {
        return STEP::Malformed;
      }
      Store = {Read16(Code + kIfrVarStoreIdOffsetInStore), STORE_KIND::Buffer, ReadGuid(Code + kIfrVarStoreGuidOffset),
               Read16(Code + kIfrVarStoreSizeOffset), {}};
      NameAt = kIfrVarStoreNameOffset;
    } else if (Code[0] == kIfrVarStoreNameValueOp) {
      if (Length < kIfrNameValueSize) {
        return STEP::Malformed;
      }
      Store = {Read16(Code + kIfrNameValueIdOffset), STORE_KIND::NameValue, ReadGuid(Code + kIfrNameValueGuidOffset),
               0, {}};
    } else {
      if (Length < kIfrOldEfiStoreSize) {
        return STEP::Malformed;
      }
      const BOOLEAN Old = Length < kIfrEfiStoreNameOffset;
      Store = {Read16(Code + kIfrEfiStoreIdOffset), Old ? STORE_KIND::Unhandled : STORE_KIND::Efi,
               ReadGuid(Code + kIfrEfiStoreGuidOffset), Old ? UINTN{0} : UINTN{Read16(Code + kIfrEfiStoreSizeOffset)}, {}};
      NameAt = Old ? 0 : kIfrEfiStoreNameOffset;
    }
    if (SameGuid(Store.Guid, gEdkiiIfrBitVarstoreGuid)) {
      Store.Kind = STORE_KIND::Unhandled;
    }
    // The name is ASCII up to its NUL, which must come before the opcode ends.
    if (NameAt != 0) {
      UINTN Used = 0;
      for (; NameAt + Used < Length && Code[NameAt + Used] != 0; Used++) {
        if (Used + 1 < kStoreNameLength) {
          Store.Name[Used] = Code[NameAt + Used] < 0x80 ? Code[NameAt + Used] : '?';
        }
      }
      if (NameAt + Used == Length || Used + 1 > kStoreNameLength) {
        return STEP::Malformed;
      }
    }
    STORE_ENTRY *Added = mQuestions->Stores.Append();
    if (Added == nullptr) {
      return STEP::OutOfResources;
    }
    *Added = Store;
    return STEP::Go;
  }

  ITEM_ENTRY *Current() {
    return mQuestionDepth == 0 ? nullptr : &mQuestions->Items[mQuestions->Items.Count() - 1];
  }

  STEP AddOption(const UINT8 *Code, UINTN Length) {
    if (Length < kIfrOptionValueOffset) {
      return STEP::Malformed;
    }
    const UINT8 Type = Code[kIfrOptionTypeOffset];
    const UINTN Width = TypeWidth(Type);
    if (Length < kIfrOptionValueOffset + Width) {
      return STEP::Malformed;
    }
    ITEM_ENTRY *Question = Current();
    if (Question == nullptr || (Question->Kind != ITEM_KIND::OneOf && Question->Kind != ITEM_KIND::OrderedList)) {
      return STEP::Go;
    }
    OPTION_ENTRY *Option = mQuestions->Options.Append();
    if (Option == nullptr) {
      return STEP::OutOfResources;
    }
    const BOOLEAN Default = (Code[kIfrOptionFlagsOffset] & kIfrOptionDefault) != 0;
    *Option = {Read16(Code + kIfrOptionTextOffset), ReadLittle(Code + kIfrOptionValueOffset, Width), Default};
    if (Question->OptionCount++ == 0) {
      Question->FirstOption = mQuestions->Options.Count() - 1;
      if (Question->Kind == ITEM_KIND::OrderedList) {
        Question->Width *= Width;  // containers times the options' width
      }
    }
    if (Default && Question->Kind == ITEM_KIND::OneOf && Question->Default == DEFAULT_SOURCE::None) {
      Question->Default = DEFAULT_SOURCE::Constant;
      Question->DefaultValue = Option->Value;
    }
    return STEP::Go;
  }

  STEP AddDefault(const UINT8 *Code, UINTN Length, BOOLEAN Scope) {
    if (Length < kIfrDefaultValueOffset) {
      return STEP::Malformed;
    }
    ITEM_ENTRY *Question = Current();
    if (Question == nullptr || Read16(Code + kIfrDefaultIdOffset) != kIfrStandardDefault) {
      return STEP::Go;
    }
    const UINTN Width = TypeWidth(Code[kIfrDefaultTypeOffset]);
    if (Scope || Width == 0 || Length < kIfrDefaultValueOffset + Width) {
      Question->Default = DEFAULT_SOURCE::Expression;  // or a value of a type not read
      return STEP::Go;
    }
    Question->Default = DEFAULT_SOURCE::Constant;
    Question->DefaultValue = ReadLittle(Code + kIfrDefaultValueOffset, Width);
    return STEP::Go;
  }

  // Bytes an item's opcode needs, and its kind; FALSE for an opcode that is
  // no statement or question.
  static BOOLEAN Describe(const UINT8 *Code, ITEM_KIND *Kind, UINTN *Needed) {
    switch (Code[0]) {
      case kIfrSubtitleOp: *Kind = ITEM_KIND::Subtitle; *Needed = kIfrStatementSize; return TRUE;
      case kIfrTextOp: *Kind = ITEM_KIND::Text; *Needed = kIfrTextTwoOffset + 2; return TRUE;
      case kIfrResetButtonOp: *Kind = ITEM_KIND::Reset; *Needed = kIfrStatementSize; return TRUE;
      case kIfrCheckboxOp: *Kind = ITEM_KIND::Checkbox; *Needed = kIfrQuestionSize + 1; return TRUE;
      case kIfrOneOfOp: *Kind = ITEM_KIND::OneOf; *Needed = kIfrNumericBoundsOffset; return TRUE;
      case kIfrNumericOp: *Kind = ITEM_KIND::Numeric; *Needed = kIfrNumericBoundsOffset; return TRUE;
      case kIfrStringOp: *Kind = ITEM_KIND::String; *Needed = kIfrStringMaxOffset + 2; return TRUE;
      case kIfrOrderedListOp: *Kind = ITEM_KIND::OrderedList; *Needed = kIfrQuestionSize + 2; return TRUE;
      case kIfrDateOp: *Kind = ITEM_KIND::Date; *Needed = kIfrQuestionSize + 1; return TRUE;
      case kIfrTimeOp: *Kind = ITEM_KIND::Time; *Needed = kIfrQuestionSize + 1; return TRUE;
      case kIfrPasswordOp: *Kind = ITEM_KIND::Password; *Needed = kIfrPasswordMaxOffset + 2; return TRUE;
      case kIfrActionOp: *Kind = ITEM_KIND::Action; *Needed = kIfrQuestionSize; return TRUE;
      case kIfrRefOp: *Kind = ITEM_KIND::Link; *Needed = kIfrRefFormOffset + 2; return TRUE;
      default: return FALSE;
    }
  }

  STEP AddItem(const UINT8 *Code, UINTN Length, BOOLEAN Scope) {
    ITEM_KIND Kind = ITEM_KIND::Subtitle;
    UINTN Needed = 0;
    if (!Describe(Code, &Kind, &Needed)) {
      return STEP::Go;
    }
    if (Length < Needed) {
      return STEP::Malformed;
    }
    ITEM_ENTRY Item = {};
    Item.Kind = Kind;
    Item.Form = mForm;
    Item.Prompt = Read16(Code + kIfrPromptOffset);
    Item.Help = Read16(Code + kIfrHelpOffset);
    if (Kind == ITEM_KIND::Text) {
      Item.TextTwo = Read16(Code + kIfrTextTwoOffset);
    }
    if (IsQuestion(Kind)) {
      Item.QuestionId = Read16(Code + kIfrQuestionIdOffset);
      Item.StoreId = Read16(Code + kIfrVarStoreIdOffset);
      Item.StoreInfo = Read16(Code + kIfrVarStoreInfoOffset);
      Item.BitField = mBitDepth != 0;
      if (!ReadShape(Code, Length, &Item)) {
        return STEP::Malformed;
      }
    }
    Item.FirstCondition = mQuestions->Conditions.Count();
    Item.ConditionCount = mConditionCount;
    for (UINTN Index = 0; Index < mConditionCount; Index++) {
      CONDITION_ENTRY *Condition = mQuestions->Conditions.Append();
      if (Condition == nullptr) {
        return STEP::OutOfResources;
      }
      *Condition = mConditions[Index];
    }
    ITEM_ENTRY *Added = mQuestions->Items.Append();
    if (Added == nullptr) {
      return STEP::OutOfResources;
    }
    *Added = Item;
    if (Scope) {
      mQuestionDepth = mDepth + 1;  // its options and defaults follow
    }
    return STEP::Go;
  }

  // A question's own fields after its header: width, bounds, link.
  static BOOLEAN ReadShape(const UINT8 *Code, UINTN Length, ITEM_ENTRY *Item) {
    const UINT8 Flags = Code[kIfrQuestionFlagsOffset < Length ? kIfrQuestionFlagsOffset : 0];
    switch (Item->Kind) {
      case ITEM_KIND::Checkbox:
        Item->Flags = Flags;
        Item->Width = 1;
        if ((Flags & kIfrCheckboxDefault) != 0) {
          Item->Default = DEFAULT_SOURCE::Constant;
          Item->DefaultValue = 1;
        }
        return TRUE;
      case ITEM_KIND::OneOf:
      case ITEM_KIND::Numeric: {
        Item->Flags = Flags;
        Item->Width = UINTN{1} << (Flags & kIfrNumericSizeMask);
        if (Length < kIfrNumericBoundsOffset + 3 * Item->Width) {
          return FALSE;
        }
        const UINT8 *Bounds = Code + kIfrNumericBoundsOffset;
        Item->Minimum = ReadLittle(Bounds, Item->Width);
        Item->Maximum = ReadLittle(Bounds + Item->Width, Item->Width);
        Item->Step = ReadLittle(Bounds + 2 * Item->Width, Item->Width);
        return TRUE;
      }
      case ITEM_KIND::String:
        Item->Width = Code[kIfrStringMaxOffset] * sizeof(CHAR16);
        return TRUE;
      case ITEM_KIND::Password:
        Item->Width = Read16(Code + kIfrPasswordMaxOffset) * sizeof(CHAR16);
        return TRUE;
      case ITEM_KIND::OrderedList:
        Item->Width = Code[kIfrQuestionSize];  // containers, until an option gives their width
        Item->Maximum = Code[kIfrQuestionSize];
        return TRUE;
      case ITEM_KIND::Date:
        Item->Flags = Flags;
        Item->Width = 4;
        return TRUE;
      case ITEM_KIND::Time:
        Item->Flags = Flags;
        Item->Width = 3;
        return TRUE;
      case ITEM_KIND::Link:
        Item->LinkForm = Read16(Code + kIfrRefFormOffset);
        return TRUE;
      default:
        return TRUE;
    }
  }

  const UINT8 *mIfr;
  UINTN mSize;
  FormQuestions *mQuestions;
  UINTN mDepth = 0;
  UINTN mFormDepth = 0;      // the depth a form opened plus one, 0 outside one; likewise:
  UINTN mQuestionDepth = 0;  // a question, whose options and defaults follow
  UINTN mBitDepth = 0;       // a scope of questions stored as bit fields
  EFI_FORM_ID mForm = 0;
  CONDITION_ENTRY mConditions[kDeepestConditions] = {};
  UINTN mConditionDepths[kDeepestConditions] = {};
  UINTN mConditionCount = 0;
  BOOLEAN mCollecting = FALSE;  // the innermost condition's expression is still being read
};

// Where FormSetGuid's form set opens in a forms package's IFR: an offset,
// or Size when it has none. Only the top level is looked at.
UINTN FindFormSet(const UINT8 *Ifr, UINTN Size, const EFI_GUID &FormSetGuid) {
  UINTN Depth = 0;
  for (UINTN At = 0; At + kIfrHeaderSize <= Size;) {
    const UINT8 *Code = Ifr + At;
    const UINTN Length = Code[1] & kIfrLengthMask;
    if (Length < kIfrHeaderSize || Length > Size - At) {
      return Size;
    }
    if (Depth == 0 && Code[0] == kIfrFormSetOp && Length >= kIfrFormSetSize &&
        SameGuid(ReadGuid(Code + kIfrFormSetGuidOffset), FormSetGuid)) {
      return At;
    }
    if (Code[0] == kIfrEndOp) {
      Depth -= Depth != 0 ? 1 : 0;
    } else if ((Code[1] & kIfrScopeBit) != 0) {
      Depth++;
    }
    At += Length;
  }
  return Size;
}

}  // namespace

EFI_STATUS ReadFormQuestions(const UINT8 *Data, UINTN Size, const EFI_GUID &FormSetGuid, FormQuestions *Questions) {
  if (Size < kHiiPackageListHeaderSize) {
    return EFI_NOT_FOUND;
  }
  const UINTN Length = Read32(Data + kHiiPackageListLengthOffset);
  if (Length < kHiiPackageListHeaderSize || Length > Size) {
    return EFI_NOT_FOUND;
  }
  for (UINTN At = kHiiPackageListHeaderSize; Length - At >= kHiiPackageHeaderSize;) {
    const UINT8 *Package = Data + At;
    const UINTN PackageLength = Read32(Package) & 0xFFFFFF;
    if (PackageLength < kHiiPackageHeaderSize || PackageLength > Length - At || Package[3] == kHiiPackageEnd) {
      break;
    }
    if (Package[3] == kHiiPackageForms) {
      const UINT8 *Ifr = Package + kHiiPackageHeaderSize;
      const UINTN IfrSize = PackageLength - kHiiPackageHeaderSize;
      const UINTN Start = FindFormSet(Ifr, IfrSize, FormSetGuid);
      if (Start < IfrSize) {
        FormSetReader Reader(Ifr, IfrSize, Questions);
        return Reader.Read(Start);
      }
    }
    At += PackageLength;
  }
  return EFI_NOT_FOUND;
}

// --- conditions ---------------------------------------------------------------

EXPRESSION_RESULT EvaluateCondition(const UINT8 *Expression, UINTN Length, QUESTION_LOOKUP Lookup, VOID *Context) {
  UINT64 Stack[kDeepestExpression];
  UINTN Depth = 0;
  for (UINTN At = 0; At + kIfrHeaderSize <= Length;) {
    const UINT8 *Code = Expression + At;
    const UINT8 Op = Code[0];
    const UINTN Size = Code[1] & kIfrLengthMask;
    if (Size < kIfrHeaderSize || Size > Length - At || Depth == kDeepestExpression) {
      return {VERDICT::NotEvaluated, Op, 0};
    }
    At += Size;
    // EDK II's compiler opens a scope on an expression's first opcode and
    // ends it after the last: the scope is the expression's own bracket.
    if (Op == kIfrEndOp) {
      continue;
    }
    // Operands first: the question a comparison reads, or a constant.
    UINT64 Pushed = 0;
    BOOLEAN Push = TRUE;
    QUESTION_VALUE Left = {TRUE, 0}, Right = {TRUE, 0};
    switch (Op) {
      case kIfrEqIdValOp:
      case kIfrEqIdIdOp:
      case kIfrEqIdValListOp:
        if (Size < 6) {
          return {VERDICT::NotEvaluated, Op, 0};
        }
        Left = Lookup(Context, Read16(Code + 2));
        Right = Op == kIfrEqIdIdOp ? Lookup(Context, Read16(Code + 4)) : QUESTION_VALUE{TRUE, Read16(Code + 4)};
        if (!Left.Known || !Right.Known) {
          return {VERDICT::NotEvaluated, Op, Read16(Code + (Left.Known ? 4 : 2))};
        }
        if (Op == kIfrEqIdValListOp) {
          const UINTN Count = Read16(Code + 4);
          if (Size < 6 + 2 * Count) {
            return {VERDICT::NotEvaluated, Op, 0};
          }
          for (UINTN Index = 0; Index < Count && Pushed == 0; Index++) {
            Pushed = Left.Value == Read16(Code + 6 + 2 * Index) ? 1 : 0;
          }
        } else {
          Pushed = Left.Value == Right.Value ? 1 : 0;
        }
        break;
      case kIfrQuestionRef1Op:
        if (Size < 4) {
          return {VERDICT::NotEvaluated, Op, 0};
        }
        Left = Lookup(Context, Read16(Code + 2));
        if (!Left.Known) {
          return {VERDICT::NotEvaluated, Op, Read16(Code + 2)};
        }
        Pushed = Left.Value;
        break;
      case kIfrUint8Op:
      case kIfrUint16Op:
      case kIfrUint32Op:
      case kIfrUint64Op: {
        const UINTN Width = UINTN{1} << (Op - kIfrUint8Op);
        if (Size < kIfrHeaderSize + Width) {
          return {VERDICT::NotEvaluated, Op, 0};
        }
        Pushed = ReadLittle(Code + kIfrHeaderSize, Width);
        break;
      }
      case kIfrTrueOp:
      case kIfrOneOp:
        Pushed = 1;
        break;
      case kIfrFalseOp:
      case kIfrZeroOp:
        Pushed = 0;
        break;
      case kIfrOnesOp:
        Pushed = ~UINT64{0};
        break;
      case kIfrNotOp:
        if (Depth < 1) {
          return {VERDICT::NotEvaluated, Op, 0};
        }
        Stack[Depth - 1] = Stack[Depth - 1] == 0 ? 1 : 0;
        Push = FALSE;
        break;
      case kIfrAndOp:
      case kIfrOrOp:
      case kIfrEqualOp:
      case kIfrNotEqualOp:
      case kIfrGreaterThanOp:
      case kIfrGreaterEqualOp:
      case kIfrLessThanOp:
      case kIfrLessEqualOp: {
        if (Depth < 2) {
          return {VERDICT::NotEvaluated, Op, 0};
        }
        const UINT64 A = Stack[Depth - 2], B = Stack[Depth - 1];
        Depth -= 2;
        Pushed = Op == kIfrAndOp            ? (A != 0 && B != 0)
                 : Op == kIfrOrOp           ? (A != 0 || B != 0)
                 : Op == kIfrEqualOp        ? A == B
                 : Op == kIfrNotEqualOp     ? A != B
                 : Op == kIfrGreaterThanOp  ? A > B
                 : Op == kIfrGreaterEqualOp ? A >= B
                 : Op == kIfrLessThanOp     ? A < B
                                            : A <= B;
        break;
      }
      default:
        return {VERDICT::NotEvaluated, Op, 0};
    }
    if (Push) {
      Stack[Depth++] = Pushed;
    }
  }
  if (Depth != 1) {
    return {VERDICT::NotEvaluated, 0, 0};
  }
  return {Stack[0] != 0 ? VERDICT::True : VERDICT::False, 0, 0};
}

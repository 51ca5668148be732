// One form set's questions and statements as its IFR gives them: what each
// asks, where its value lives, its options and default, and the conditions
// around it. The IFR comes from any driver in the machine: every opcode is
// checked against its length, and a form set that breaks a rule is refused
// whole.
#pragma once

#include "platform/Hii.h"
#include "platform/PoolBuffer.h"

enum class ITEM_KIND : UINT8 {
  Subtitle,
  Text,
  Reset,  // a button that restores defaults: the walk never presses it
  Checkbox,
  OneOf,
  Numeric,
  String,
  OrderedList,
  Date,
  Time,
  Password,
  Action,
  Link,
};

inline BOOLEAN IsQuestion(ITEM_KIND Kind) { return Kind >= ITEM_KIND::Checkbox; }
// Whether the question has a value to read (an action or a link has none).
inline BOOLEAN HoldsValue(ITEM_KIND Kind) { return IsQuestion(Kind) && Kind < ITEM_KIND::Action; }

enum class STORE_KIND : UINT8 {
  Buffer,     // the page's driver serves it through ExtractConfig
  NameValue,  // named values, through ExtractConfig too
  Efi,        // an EFI variable
  Unhandled,  // an EFI variable described before UEFI 2.3.1, without name or size
};

// The longest store name kept, with its NUL.
constexpr UINTN kStoreNameLength = 64;

struct STORE_ENTRY {
  UINT16 Id;
  STORE_KIND Kind;
  EFI_GUID Guid;
  UINTN Size;                      // bytes; 0 for named values
  CHAR16 Name[kStoreNameLength];  // empty for named values
};

enum class CONDITION_KIND : UINT8 { SuppressIf, GrayOutIf, DisableIf };

struct CONDITION_ENTRY {
  CONDITION_KIND Kind;
  UINTN Expression;  // offset of its expression in the form set's IFR
  UINTN Length;      // bytes of the expression
};

struct OPTION_ENTRY {
  EFI_STRING_ID Text;
  UINT64 Value;
  BOOLEAN Default;  // marked as the standard default
};

enum class DEFAULT_SOURCE : UINT8 { None, Constant, Expression };

struct ITEM_ENTRY {
  ITEM_KIND Kind;
  EFI_FORM_ID Form;
  EFI_STRING_ID Prompt;
  EFI_STRING_ID Help;
  EFI_STRING_ID TextTwo;  // a text statement's second string
  UINT16 QuestionId;
  UINT16 StoreId;         // 0: the driver keeps the value
  UINT16 StoreInfo;       // the offset in its store, or a named value's string id
  UINT8 Flags;            // the question's own (size and display, default, storage)
  BOOLEAN BitField;       // stored as bits of a store: not read
  UINTN Width;            // bytes of its value
  UINT64 Minimum, Maximum, Step;
  EFI_FORM_ID LinkForm;
  UINTN FirstOption, OptionCount;
  UINTN FirstCondition, ConditionCount;  // the conditions around it, outermost first
  DEFAULT_SOURCE Default;
  UINT64 DefaultValue;
};

struct FormQuestions {
  PoolVector<STORE_ENTRY> Stores;
  PoolVector<ITEM_ENTRY> Items;  // in IFR order
  PoolVector<OPTION_ENTRY> Options;
  PoolVector<CONDITION_ENTRY> Conditions;
  const UINT8 *Ifr = nullptr;  // the form set's IFR, where conditions' expressions are
  UINTN IfrSize = 0;
};

// The form set FormSetGuid's items from an exported package list (Size
// bytes at Data), its first forms package that holds it. Returns
// EFI_SUCCESS; EFI_NOT_FOUND when no package holds it; EFI_COMPROMISED_DATA
// when its IFR breaks a rule (a length past its end, an opcode too short,
// scopes that do not match); EFI_OUT_OF_RESOURCES. Questions keeps pointers
// into Data.
EFI_STATUS ReadFormQuestions(const UINT8 *Data, UINTN Size, const EFI_GUID &FormSetGuid, FormQuestions *Questions);

// The value an expression tests, or why it cannot be had.
struct QUESTION_VALUE {
  BOOLEAN Known;
  UINT64 Value;
};
// Question QuestionId's value for conditions: Context is the caller's.
typedef QUESTION_VALUE (*QUESTION_LOOKUP)(VOID *Context, UINT16 QuestionId);

enum class VERDICT : UINT8 { False, True, NotEvaluated };

struct EXPRESSION_RESULT {
  VERDICT Verdict;
  UINT8 Blocker;      // the opcode not evaluated, or the question-reading one whose value is unknown
  UINT16 QuestionId;  // for the latter, the question
};

// An expression's truth from the values Lookup gives, for the opcodes that
// forms commonly use; NotEvaluated for any other opcode or an unknown value,
// never a guess.
EXPRESSION_RESULT EvaluateCondition(const UINT8 *Expression, UINTN Length, QUESTION_LOOKUP Lookup, VOID *Context);

// The form listing from any bytes, as ExportPackageLists would give them: no
// read past the export (ASan would see it), every form in a listed set,
// every set's forms within the listing, titles ended within their room, and
// all pool given back. Then each listed set's questions from the same bytes:
// options and conditions within their records, expressions within the IFR,
// and every condition evaluated, with values known and unknown.
#include <cstring>

#include "forms/FormList.h"
#include "forms/FormQuestions.h"
#include "fuzz/FuzzSupport.h"  // Require, Firmware
#include "tests/fake/FakeForms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  fake::FakeFirmware &Fw = Firmware();
  static fake::FakeForms &Forms = *new fake::FakeForms(Fw);
  Forms.Lists = {{std::vector<UINT8>(Data, Data + Size),
                  {{"en-US", {{1, u"Main"}, {2, std::u16string(300, u'x')}}}, {"de-DE", {{3, u"Drei"}}}}}};
  {
    FormList List;
    Require(ListForms(&Forms.Database, &Forms.Strings, &List) == EFI_SUCCESS);
    for (UINTN Set = 0; Set < List.Sets.Count(); Set++) {
      const FORM_SET_ENTRY &Entry = List.Sets[Set];
      Require(Entry.FirstForm + Entry.FormCount <= List.Forms.Count());
      Require(std::memchr(Entry.Title, 0, sizeof(Entry.Title)) != nullptr);
    }
    for (UINTN Form = 0; Form < List.Forms.Count(); Form++) {
      const FORM_ENTRY &Entry = List.Forms[Form];
      Require(Entry.Set < List.Sets.Count());
      const FORM_SET_ENTRY &Set = List.Sets[Entry.Set];
      Require(Form >= Set.FirstForm && Form < Set.FirstForm + Set.FormCount);
      Require(Entry.Title[kTitleLength - 1] == 0);
    }
    for (UINTN Set = 0; Set < List.Sets.Count(); Set++) {
      FormQuestions Questions;
      if (ReadFormQuestions(Data, Size, List.Sets[Set].FormSetGuid, &Questions) != EFI_SUCCESS) {
        continue;
      }
      for (UINTN Item = 0; Item < Questions.Items.Count(); Item++) {
        const ITEM_ENTRY &Entry = Questions.Items[Item];
        Require(Entry.OptionCount == 0 || Entry.FirstOption + Entry.OptionCount <= Questions.Options.Count());
        Require(Entry.FirstCondition + Entry.ConditionCount <= Questions.Conditions.Count());
      }
      for (UINTN Index = 0; Index < Questions.Conditions.Count(); Index++) {
        const CONDITION_ENTRY &Condition = Questions.Conditions[Index];
        Require(Condition.Expression <= Questions.IfrSize && Condition.Length <= Questions.IfrSize - Condition.Expression);
        const QUESTION_LOOKUP Lookups[] = {[](VOID *, UINT16 Id) { return QUESTION_VALUE{TRUE, Id}; },
                                           [](VOID *, UINT16) { return QUESTION_VALUE{FALSE, 0}; }};
        for (const QUESTION_LOOKUP Lookup : Lookups) {
          EvaluateCondition(Questions.Ifr + Condition.Expression, Condition.Length, Lookup, nullptr);
        }
      }
    }
  }
  Require(Fw.LivePoolBlocks() == 0);
  return 0;
}

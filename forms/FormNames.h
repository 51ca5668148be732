// The names the walk gives its files, and the titles it prints: from
// untrusted titles.
#pragma once

#include "platform/Hii.h"

// At most this many characters come from a title.
constexpr UINTN kSafeTitleLength = 40;
// A form's file stem, with its NUL: a position of up to 10 digits, '_' and
// the title part.
constexpr UINTN kFormStemLength = 12 + kSafeTitleLength;
// A screen's file name, with its NUL: the stem, "_" and up to 10 digits, ".png".
constexpr UINTN kImageNameLength = kFormStemLength + 16;

// "007_Secure_Boot_Configuration": Position as at least three digits, then
// the title made safe for FAT: ASCII letters and digits kept, every other run
// of characters one '_' (none at either end), at most kSafeTitleLength
// characters; "form_<FormId>" when nothing of the title is left.
VOID BuildFormStem(UINTN Position, const CHAR16 *Title, EFI_FORM_ID FormId, CHAR16 *Stem);

// Title as one console line: control characters as spaces, at most
// Length - 1 characters and the NUL into Shown.
VOID BuildConsoleTitle(const CHAR16 *Title, CHAR16 *Shown, UINTN Length);

// "<Stem>.png" for a form's first screen, "<Stem>_<Screen>.png" for the others.
VOID BuildImageName(const CHAR16 *Stem, UINTN Screen, CHAR16 *Name);

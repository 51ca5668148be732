// What the walk does with each screen a form shows: read it back, drop it
// when Page Down brought nothing new, otherwise save it as a PNG in the
// walk's folder; and, with -step, hold it until a key is pressed.
#pragma once

#include "forms/FormNames.h"
#include "forms/ScreenCompare.h"

// The most screens saved of one form; a form with more is cut.
constexpr UINTN kMostScreensPerForm = 16;

class FormScreens {
 public:
  FormScreens() = default;
  ~FormScreens() {
    DestroyCaptureImage(mFrames[0]);
    DestroyCaptureImage(mFrames[1]);
  }
  FormScreens(const FormScreens &) = delete;
  FormScreens &operator=(const FormScreens &) = delete;

  // Frames for the current mode of GraphicsOutput. Page Down only when
  // Paging; with Step, each saved screen waits for a key on Keyboard (the
  // firmware's input). EFI_UNSUPPORTED for a mode with no size or one too
  // wide for the encoder, EFI_OUT_OF_RESOURCES.
  EFI_STATUS Create(EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, BOOLEAN Paging, BOOLEAN Step,
                    EFI_SIMPLE_TEXT_IN_PROTOCOL *Keyboard);
  // Where the PNGs go; before the first form.
  VOID SaveInto(EFI_FILE_PROTOCOL *Folder) { mFolder = Folder; }

  // Before each form: the stem its files are named from.
  VOID StartForm(const CHAR16 *Stem);

  // A new screen of the form, as FORM_SCREEN_HANDLER: TRUE for another.
  static BOOLEAN OnScreen(VOID *Context);

  // The form's outcome so far.
  UINTN Saved() const { return mSaved; }
  BOOLEAN Cut() const { return mCut; }
  EFI_STATUS Failure() const { return mFailure; }  // why a screen was not saved
  BOOLEAN StopAsked() const { return mStopAsked; }  // ESC at a held screen
  const CHAR16 *Stem() const { return mStem; }

 private:
  BOOLEAN Next();
  EFI_STATUS Save(const CaptureImage *Screen);

  EFI_GRAPHICS_OUTPUT_PROTOCOL *mGraphicsOutput = nullptr;
  EFI_FILE_PROTOCOL *mFolder = nullptr;
  BOOLEAN mPaging = FALSE;
  BOOLEAN mStep = FALSE;
  EFI_SIMPLE_TEXT_IN_PROTOCOL *mKeyboard = nullptr;
  TEXT_GRID mGrid = {};
  // The screen just read and the last one saved, turn about.
  CaptureImage *mFrames[2] = {};
  UINTN mLast = 0;
  CHAR16 mStem[kFormStemLength] = {};
  UINTN mSaved = 0;
  BOOLEAN mCut = FALSE;
  EFI_STATUS mFailure = EFI_SUCCESS;
  BOOLEAN mStopAsked = FALSE;
};

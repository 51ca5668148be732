#include "forms/FormScreens.h"

#include "fileio/FolderWriter.h"
#include "image/PngFile.h"
#include "image/Screen.h"
#include "platform/CaptureClock.h"
#include "platform/ConsoleInput.h"
#include "platform/Event.h"
#include "platform/Library.h"

EFI_STATUS FormScreens::Create(EFI_GRAPHICS_OUTPUT_PROTOCOL *GraphicsOutput, BOOLEAN Paging, BOOLEAN Step,
                               EFI_SIMPLE_TEXT_IN_PROTOCOL *Keyboard) {
  UINTN Width = 0, Height = 0;
  if (!GetModeSize(GraphicsOutput, &Width, &Height) || Width > kPngLargestWidth) {
    return EFI_UNSUPPORTED;
  }
  for (CaptureImage *&Frame : mFrames) {
    DestroyCaptureImage(Frame);
    Frame = CreateScreenImage(Width, Height);
    if (Frame == nullptr) {
      return EFI_OUT_OF_RESOURCES;
    }
  }
  mGraphicsOutput = GraphicsOutput;
  mPaging = Paging;
  mStep = Step;
  mKeyboard = Keyboard;
  mGrid = ConsoleTextGrid(Width, Height);
  return EFI_SUCCESS;
}

VOID FormScreens::StartForm(const CHAR16 *Stem) {
  CopyMem(mStem, Stem, sizeof(mStem));
  mStem[kFormStemLength - 1] = 0;
  mSaved = 0;
  mCut = FALSE;
  mFailure = EFI_SUCCESS;
}

BOOLEAN FormScreens::OnScreen(VOID *Context) { return static_cast<FormScreens *>(Context)->Next(); }

BOOLEAN FormScreens::Next() {
  if (EFI_ERROR(mFailure) || mStopAsked) {
    return FALSE;
  }
  if (CurrentTpl() > TPL_CALLBACK) {
    mFailure = EFI_UNSUPPORTED;  // a browser reading keys at raised TPL: no files from here
    return FALSE;
  }
  CaptureImage *Screen = mFrames[1 - mLast];
  mFailure = CaptureScreen(Screen, mGraphicsOutput);
  if (EFI_ERROR(mFailure)) {
    return FALSE;
  }
  // Page Down that moved only the highlight: the form has no more.
  if (mSaved != 0 && SameButHighlightAndHelp(Screen, mFrames[mLast], mGrid)) {
    return FALSE;
  }
  if (mSaved == kMostScreensPerForm) {
    mCut = TRUE;
    return FALSE;
  }
  mFailure = Save(Screen);
  if (EFI_ERROR(mFailure)) {
    return FALSE;
  }
  mSaved++;
  mLast = 1 - mLast;
  if (mStep) {
    EFI_INPUT_KEY Key = {};
    mStopAsked = !EFI_ERROR(WaitForNewKey(mKeyboard, &Key)) && Key.ScanCode == SCAN_ESC;
  }
  return mPaging && !mStopAsked;
}

EFI_STATUS FormScreens::Save(const CaptureImage *Screen) {
  EFI_TIME Time;
  PngFile File;
  EFI_STATUS Status = File.Create(Screen, ReadCaptureTime(&Time) ? &Time : nullptr);
  if (EFI_ERROR(Status)) {
    return Status;
  }
  CHAR16 Name[kImageNameLength];
  BuildImageName(mStem, mSaved + 1, Name);
  return SaveNewFileInFolder(mFolder, Name, &File);
}

// Move-only owner of an open file or directory: closed on every road, unless
// deleted first (Delete closes the handle too).
#pragma once

#include "platform/Efi.h"

class FileHandle {
 public:
  explicit FileHandle(EFI_FILE_PROTOCOL *File) : mFile(File) {}
  ~FileHandle() {
    if (mFile != nullptr) {
      mFile->Close(mFile);  // nothing to do about a failed close
    }
  }
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;

  EFI_FILE_PROTOCOL *Get() const { return mFile; }

  // Takes File, closing the one held before.
  VOID Reset(EFI_FILE_PROTOCOL *File) {
    if (mFile != nullptr) {
      mFile->Close(mFile);
    }
    mFile = File;
  }

  // Removes the file; the handle is closed whatever the outcome.
  EFI_STATUS Delete() {
    EFI_FILE_PROTOCOL *File = mFile;
    mFile = nullptr;
    return File->Delete(File);
  }

 private:
  EFI_FILE_PROTOCOL *mFile = nullptr;
};

// Room for the one object a resident driver keeps from its entry to its
// Unload. A global of this type needs no constructor (static storage starts
// zeroed); the object in it is made and destroyed explicitly, so its owners'
// destructors run exactly when the driver goes.
#pragma once

#include "platform/Efi.h"

#if __has_include(<new>)
#include <new>
#else
// The target has no C++ library headers; placement new is all it needs.
inline void *operator new(size_t, void *Where) noexcept { return Where; }
#endif

template <typename T>
// cppcheck-suppress noConstructor ; zeroed static storage, so no constructor ever runs
class ResidentObject {
 public:
  T *Construct() {
    mObject = new (mStorage) T();
    return mObject;
  }
  VOID Destroy() {
    if (mObject != nullptr) {
      mObject->~T();
      mObject = nullptr;
    }
  }
  T *Get() const { return mObject; }

 private:
  alignas(T) UINT8 mStorage[sizeof(T)];
  T *mObject;
};

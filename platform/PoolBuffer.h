// Move-only owner of one pool block: whatever road a function takes, the
// block goes back to the pool when its owner goes out of scope.
#pragma once

#include "platform/Library.h"

template <typename T>
class PoolBuffer {
 public:
  PoolBuffer() = default;
  explicit PoolBuffer(T *Buffer) : mBuffer(Buffer) {}
  ~PoolBuffer() { FreePool(mBuffer); }

  PoolBuffer(const PoolBuffer &) = delete;
  PoolBuffer &operator=(const PoolBuffer &) = delete;
  PoolBuffer(PoolBuffer &&Other) noexcept : mBuffer(Other.Release()) {}
  PoolBuffer &operator=(PoolBuffer &&Other) noexcept {
    if (this != &Other) {
      FreePool(mBuffer);
      mBuffer = Other.Release();
    }
    return *this;
  }

  // A zero-filled block of Count elements; empty when the pool has no room
  // or the byte count would overflow.
  static PoolBuffer Allocate(UINTN Count) {
    UINTN Bytes = 0;
    if (!SafeMultiply(Count, sizeof(T), &Bytes)) {
      return PoolBuffer();
    }
    return PoolBuffer(static_cast<T *>(AllocateZeroPool(Bytes)));
  }

  T *Get() const { return mBuffer; }
  explicit operator bool() const { return mBuffer != nullptr; }
  T &operator[](UINTN Index) const { return mBuffer[Index]; }

  // Hands the block to the caller, who frees it from now on.
  T *Release() {
    T *Buffer = mBuffer;
    mBuffer = nullptr;
    return Buffer;
  }

 private:
  T *mBuffer = nullptr;
};

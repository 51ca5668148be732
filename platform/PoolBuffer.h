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

// A growing array of plain records in one pool block: each Append adds a
// zero-filled record at the end, moving the block to a larger one when full.
// T must be copyable byte by byte.
template <typename T>
class PoolVector {
 public:
  // The new record, or null (the array unchanged) when the pool has no room.
  T *Append() {
    if (mCount == mCapacity) {
      const UINTN Capacity = mCapacity == 0 ? 8 : mCapacity * 2;
      PoolBuffer<T> Larger = PoolBuffer<T>::Allocate(Capacity);
      if (!Larger) {
        return nullptr;
      }
      CopyMem(Larger.Get(), mRecords.Get(), mCount * sizeof(T));
      mRecords = static_cast<PoolBuffer<T> &&>(Larger);
      mCapacity = Capacity;
    }
    T *Record = &mRecords[mCount++];
    SetMem(Record, sizeof(T), 0);
    return Record;
  }

  // Drops the records from Count on.
  VOID Truncate(UINTN Count) {
    if (Count < mCount) {
      mCount = Count;
    }
  }

  UINTN Count() const { return mCount; }
  T &operator[](UINTN Index) const { return mRecords[Index]; }
  T *Get() const { return mRecords.Get(); }

 private:
  PoolBuffer<T> mRecords;
  UINTN mCount = 0;
  UINTN mCapacity = 0;
};

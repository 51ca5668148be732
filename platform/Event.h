// Move-only owner of an event: closed on every road.
#pragma once

#include "platform/Efi.h"

// SetTimer counts 100 ns.
constexpr UINT64 kTimerTicksPerSecond = 10000000;

// The TPL the caller runs at: files and the clock need TPL_CALLBACK or lower.
inline EFI_TPL CurrentTpl() {
  const EFI_TPL Current = gBS->RaiseTPL(TPL_HIGH_LEVEL);
  gBS->RestoreTPL(Current);
  return Current;
}

class Event {
 public:
  Event() = default;
  ~Event() { Close(); }
  Event(const Event &) = delete;
  Event &operator=(const Event &) = delete;

  // An EVT_NOTIFY_SIGNAL event: each signal queues Notify(Event, Context) to
  // run at Tpl. Returns CreateEvent's status; the owner must be empty.
  EFI_STATUS Create(EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context) {
    return CreateOfType(EVT_NOTIFY_SIGNAL, Tpl, Notify, Context);
  }

  // An EVT_NOTIFY_WAIT event: Notify(Event, Context) runs at Tpl whenever
  // someone waits on the event, or checks it, while it is not signalled.
  EFI_STATUS CreateWait(EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context) {
    return CreateOfType(EVT_NOTIFY_WAIT, Tpl, Notify, Context);
  }

  // A timer event to wait on, with no function of its own; SetTimer arms it.
  EFI_STATUS CreateTimer() {
    EFI_EVENT Created = nullptr;
    const EFI_STATUS Status = gBS->CreateEvent(EVT_TIMER, TPL_APPLICATION, nullptr, nullptr, &Created);
    if (!EFI_ERROR(Status)) {
      mEvent = Created;
    }
    return Status;
  }

  // A timer event whose signal queues Notify(Event, Context) at Tpl.
  EFI_STATUS CreateTimer(EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context) {
    return CreateOfType(EVT_TIMER | EVT_NOTIFY_SIGNAL, Tpl, Notify, Context);
  }

  // Signals the timer once, Ticks of 100 ns from now. Returns SetTimer's status.
  EFI_STATUS SetRelative(UINT64 Ticks) { return gBS->SetTimer(mEvent, TimerRelative, Ticks); }

  // Queues the event's function, or ends a wait on it. Returns SignalEvent's status.
  EFI_STATUS Signal() const { return gBS->SignalEvent(mEvent); }

  // Signals the event whenever an interface of Protocol is installed;
  // *Registration is the firmware's key for LocateHandle.
  EFI_STATUS SignalOnInstall(EFI_GUID *Protocol, VOID **Registration) const {
    return gBS->RegisterProtocolNotify(Protocol, mEvent, Registration);
  }

  EFI_EVENT Get() const { return mEvent; }

  VOID Close() {
    if (mEvent != nullptr) {
      gBS->CloseEvent(mEvent);  // nothing to do about a failed close
      mEvent = nullptr;
    }
  }

 private:
  EFI_STATUS CreateOfType(UINT32 Type, EFI_TPL Tpl, EFI_EVENT_NOTIFY Notify, VOID *Context) {
    EFI_EVENT Created = nullptr;
    const EFI_STATUS Status = gBS->CreateEvent(Type, Tpl, Notify, Context, &Created);
    if (!EFI_ERROR(Status)) {
      mEvent = Created;  // only what the firmware really made is ever closed
    }
    return Status;
  }

  EFI_EVENT mEvent = nullptr;
};

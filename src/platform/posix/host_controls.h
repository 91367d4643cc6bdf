// Controls of the host's side of the OS boundary, for tests and host tools.
//
// On the host there is no user and no window: message boxes are recorded
// (and answered OK), the status text goes to an observer, the abort key is
// "held down" when a test says so, the tick count can be frozen at a chosen
// value, the Windows and System directories are whatever a test sets, a
// test can stand in a two-byte ANSI code page or a disk that fills up, and
// the message pump runs a hook, so that a test can call back into the
// engine from where a window procedure would run.
#pragma once

#include <cstdint>

#include "platform/platform.h"

struct RecordedBox {
  char caption[32];
  char text[320];
  uint32_t flags;
};

// Boxes shown since the last clear; the first kMaxRecordedBoxes are kept,
// the count goes on.
constexpr int kMaxRecordedBoxes = 256;
int RecordedBoxCount();
const RecordedBox& RecordedBoxAt(int index);
void ClearRecordedBoxes();

// Every status text written to a non-null control goes to the observer.
using StatusObserver = void (*)(WindowHandle control, const char* text, void* context);
void SetStatusObserver(StatusObserver observer, void* context);

// The key that IsKeyDown reports as held; 0 releases it.
void HoldKeyDown(uint16_t virtualKey);

// Freezes TickCount at the given value until the next call or until
// UseRealTickCount.
void SetHostTickCount(uint32_t milliseconds);
void UseRealTickCount();

// The directories ReadWindowsDirectory and ReadSystemDirectory report
// (Windows paths; "C:\WINDOWS" and "C:\WINDOWS\system32" until set).
void SetHostSystemDirectories(const char* windowsDirectory, const char* systemDirectory);

// While on, IsLeadByte reports the lead bytes of code page 932 (Japanese),
// as a Win32 system with that ANSI code page would; off (the default), none.
void SetHostCodePage932(bool on);

// While on, CarrylessMultiplyUsable answers false whatever the processor
// has, so that the CRC takes its table path.
void RefuseCarrylessMultiply(bool refuse);

// A disk with room for `bytes` more bytes: a write that does not fit writes
// nothing and reports the disk full. -1 lifts the limit.
void LimitHostWrites(int64_t bytes);

// While set, AllocateMemory refuses blocks of more than `largest` bytes, as a
// system short of memory would; 0 lifts the limit.
void LimitHostAllocations(uint32_t largest);

// Runs inside every DispatchPendingMessages; null removes it.
using PumpHook = void (*)(void* context);
void SetPumpHook(PumpHook hook, void* context);

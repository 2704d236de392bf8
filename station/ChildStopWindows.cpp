#include <cstdint>
#include <stdexcept>

#include "station/ChildStop.h"

void FailWithLastError(const char* what) {
  throw std::runtime_error(std::string(what) + ": ошибка " + std::to_string(GetLastError()));
}

HANDLE InheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS))
    FailWithLastError("DuplicateHandle");
  return copy;
}

TChildStop::TChildStop() {
  StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DoneEvent = StopEvent ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
  if (!DoneEvent) {
    const DWORD error = GetLastError();
    if (StopEvent) CloseHandle(StopEvent);
    SetLastError(error);
    FailWithLastError("CreateEvent");
  }
}

TChildStop::~TChildStop() {
  CloseHandle(StopEvent);
  CloseHandle(DoneEvent);
}

void TChildStop::Ask() const { SetEvent(StopEvent); }

bool TChildStop::Done() const { return WaitForSingleObject(DoneEvent, 0) == WAIT_OBJECT_0; }

TGivenStop::TGivenStop(const TChildStop& stop) : Handles{} {
  try {
    Handles[0] = InheritableCopy(stop.StopEvent);
    // The child watches this process: its own handle, with no more right than waiting on it.
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &Handles[1],
                         SYNCHRONIZE, TRUE, 0))
      FailWithLastError("DuplicateHandle");
    Handles[2] = InheritableCopy(stop.DoneEvent);
  } catch (...) {
    Close();
    throw;
  }
}

TGivenStop::~TGivenStop() { Close(); }

void TGivenStop::Close() {
  for (HANDLE& handle : Handles) {
    if (handle) CloseHandle(handle);
    handle = nullptr;
  }
}

std::string TGivenStop::Value() const {
  std::string value;
  for (int i = 0; i < 3; ++i)
    value += (i ? "," : "") + std::to_string(reinterpret_cast<std::uintptr_t>(Handles[i]));
  return value;
}

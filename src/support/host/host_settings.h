// Internal to the host layer: the answers the stand-ins give, set through host_control.h.
#pragma once

#include <atomic>
#include <string>

#include "support/host/host_types.h"

namespace pellmora::host {

struct Settings {
  std::atomic<UINT> ansiCodePage{1252};
  std::atomic<DWORD> platformId{VER_PLATFORM_WIN32_NT};
  std::atomic<DWORD> majorVersion{10};
  bool localeAnswers = true;
  std::string localeAnsiCodePage = "1252";
  std::atomic<DWORD> failNextMutexCreation{0};
};

Settings& CurrentSettings();

// The code page CP_THREAD_ACP stands for on the calling thread (0 when not set: the ANSI one).
UINT& ThreadCodePage();

}  // namespace pellmora::host

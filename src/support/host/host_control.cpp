#include "support/host/host_control.h"

#include "support/host/host_settings.h"

namespace pellmora::host {

Settings& CurrentSettings() {
  static Settings settings;
  return settings;
}

UINT& ThreadCodePage() {
  thread_local UINT codePage = 0;
  return codePage;
}

}  // namespace pellmora::host

using pellmora::host::CurrentSettings;

void HostSetAnsiCodePage(UINT codePage) { CurrentSettings().ansiCodePage = codePage; }
void HostSetThreadCodePage(UINT codePage) { pellmora::host::ThreadCodePage() = codePage; }

void HostSetVersion(DWORD platformId, DWORD majorVersion) {
  CurrentSettings().platformId = platformId;
  CurrentSettings().majorVersion = majorVersion;
}

void HostSetLocaleAnsiCodePage(const char* answer) {
  CurrentSettings().localeAnswers = answer != nullptr;
  CurrentSettings().localeAnsiCodePage = answer != nullptr ? answer : "";
}

void HostFailNextMutexCreation(DWORD error) { CurrentSettings().failNextMutexCreation = error; }

void HostResetText() {
  HostSetAnsiCodePage(1252);
  HostSetThreadCodePage(0);
  HostSetVersion(VER_PLATFORM_WIN32_NT, 10);
  HostSetLocaleAnsiCodePage("1252");
  HostFailNextMutexCreation(0);
  HostFailHeapAfter(-1);
}

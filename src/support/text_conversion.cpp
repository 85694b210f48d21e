#include "support/text_conversion.h"

#include <atomic>

#include "support/wide_text.h"

// Vista and later; earlier systems refuse the flag with ERROR_INVALID_FLAGS.
#ifndef WC_ERR_INVALID_CHARS
#define WC_ERR_INVALID_CHARS 0x00000080
#endif

namespace pellmora {

namespace {

using Selector = UINT (*)() noexcept;

UINT ProbeConversionCodePage() noexcept;

std::atomic<Selector> g_conversionCodePage{&ProbeConversionCodePage};

// NT-family systems from major version 5 on convert with the thread's own code page; older ones
// with the default code page of the thread's locale.
UINT ProbeConversionCodePage() noexcept {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  const bool threadAware =
      GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
  const Selector chosen = threadAware ? &ThreadCodePageSelector : &LocaleCodePageSelector;
  g_conversionCodePage.exchange(chosen);
  return chosen();
}

}  // namespace

UINT ConversionCodePage() noexcept { return g_conversionCodePage.load(std::memory_order_acquire)(); }

UINT ThreadCodePageSelector() noexcept { return CP_THREAD_ACP; }

UINT LocaleCodePageSelector() noexcept {
  char answer[7] = {};
  if (GetLocaleInfoA(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE, answer, sizeof(answer)) != 0 &&
      answer[0] != '\0') {
    UINT codePage = 0;
    for (const char* digit = answer; *digit != '\0'; ++digit) codePage = codePage * 10 + (*digit - '0');
    if (codePage != 0) return codePage;
  }
  return GetACP();
}

namespace {

// Whether the text holds a surrogate unit that is not part of a pair.
bool HasUnpairedSurrogate(const char16_t* text) noexcept {
  for (; *text != 0; ++text) {
    if (*text >= 0xD800 && *text <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      ++text;
    } else if (*text >= 0xD800 && *text <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

void ResetConversionCodePage() noexcept { g_conversionCodePage.store(&ProbeConversionCodePage); }

char16_t* WideFromNarrow(char16_t* destination, const char* source, int capacity, UINT codePage) noexcept {
  if (destination == nullptr || source == nullptr) return nullptr;
  destination[0] = 0;
  if (MultiByteToWideChar(codePage, 0, source, -1, PlatformWide(destination), capacity) == 0) return nullptr;
  return destination;
}

char* NarrowFromWide(char* destination, const char16_t* source, int capacity, UINT codePage) noexcept {
  if (destination == nullptr || source == nullptr) return nullptr;
  destination[0] = 0;
  if (WideCharToMultiByte(codePage, 0, PlatformWide(source), -1, destination, capacity, nullptr, nullptr) == 0)
    return nullptr;
  return destination;
}

char* NarrowFromWideExact(char* destination, const char16_t* source, int capacity, UINT codePage) noexcept {
  if (destination == nullptr || source == nullptr) return nullptr;
  destination[0] = 0;
  if (codePage != CP_UTF8 && codePage != CP_UTF7) {
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, PlatformWide(source), -1, destination, capacity, nullptr,
                            &usedDefault) != 0) {
      if (!usedDefault) return destination;
      destination[0] = 0;
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return nullptr;
    }
    // A marker such as CP_THREAD_ACP may stand for UTF-8, which refuses the used-default flag;
    // any other failure is final.
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_INVALID_FLAGS) return nullptr;
  }
  // Unicode code pages can hold every character; only unpaired surrogates are unmappable.
  if (WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, PlatformWide(source), -1, destination, capacity, nullptr,
                          nullptr) != 0)
    return destination;
  // Systems before Vista, and UTF-7 everywhere, refuse that flag: look for them here instead.
  if (GetLastError() != ERROR_INVALID_FLAGS) return nullptr;
  if (HasUnpairedSurrogate(source)) {
    destination[0] = 0;
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return nullptr;
  }
  if (WideCharToMultiByte(codePage, 0, PlatformWide(source), -1, destination, capacity, nullptr, nullptr) == 0)
    return nullptr;
  return destination;
}

}  // namespace pellmora

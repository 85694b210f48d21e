// UTF-16 text is char16_t in portable code. On Windows the platform's wide type is the 16-bit
// wchar_t, a distinct type with the same representation; these casts are the only bridge.
#pragma once

#include "support/platform.h"

namespace pellmora {

inline WCHAR* PlatformWide(char16_t* text) { return reinterpret_cast<WCHAR*>(text); }
inline const WCHAR* PlatformWide(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }
inline char16_t* PortableWide(WCHAR* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* PortableWide(const WCHAR* text) { return reinterpret_cast<const char16_t*>(text); }

static_assert(sizeof(WCHAR) == sizeof(char16_t), "the platform's wide text must be UTF-16");

}  // namespace pellmora

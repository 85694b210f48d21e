// The text argument of a put or of parse, taken on the direct Invoke path only in the shapes
// script hosts pass strings in.
#pragma once

#include "support/platform.h"

namespace pellmora {

// `given` as the text the member receives, when it is a string (VT_BSTR), a string by reference,
// or a variant by reference holding a string (a script variable): no conversion, so the text is
// the caller's own. False for every other shape: numbers, dates, booleans and the rest go to the
// type information, which converts them as the platform it runs on does (its locale and flags
// may differ by version), so that a call never gives two texts depending on the path it took. A
// variant by reference holding a string by reference is declined too: hosts do not pass it, and
// whether the type information follows two references may differ by version.
inline bool TextArgument(const VARIANT& given, BSTR* text) noexcept {
  if (given.vt == VT_BSTR) {
    *text = given.bstrVal;
    return true;
  }
  if (given.vt == (VT_BSTR | VT_BYREF) && given.pbstrVal != nullptr) {
    *text = *given.pbstrVal;
    return true;
  }
  if (given.vt == (VT_VARIANT | VT_BYREF) && given.pvarVal != nullptr && given.pvarVal->vt == VT_BSTR) {
    *text = given.pvarVal->bstrVal;
    return true;
  }
  return false;
}

}  // namespace pellmora

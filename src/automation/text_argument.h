// The text argument of a put or of parse, taken on the direct Invoke path only in the shapes
// script hosts pass strings in.
#pragma once

#include "support/platform.h"

namespace pellmora {

// `given` as the text the member receives, when it is a string (VT_BSTR), a string by reference,
// or a variant by reference that holds either: no conversion, so the text is the caller's own.
// False for every other shape: numbers, dates, booleans and the rest go to the type information,
// which converts them as the platform it runs on does (its locale and flags may differ by
// version), so that the same call never gives two texts depending on the path it took.
inline bool TextArgument(const VARIANT& given, BSTR* text) noexcept {
  const VARIANT* argument = &given;
  if (argument->vt == (VT_VARIANT | VT_BYREF)) {
    argument = argument->pvarVal;
    if (argument == nullptr) return false;
  }
  if (argument->vt == VT_BSTR) {
    *text = argument->bstrVal;
    return true;
  }
  if (argument->vt == (VT_BSTR | VT_BYREF) && argument->pbstrVal != nullptr) {
    *text = *argument->pbstrVal;
    return true;
  }
  return false;
}

}  // namespace pellmora

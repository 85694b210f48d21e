// Registers the DLL under test for a script test by hand (class keys, ProgID, type library) and
// removes it again: `script_test_registration register|unregister`. Exit code 0 on success.
#include <cstdio>
#include <cstring>

#include "test_registration.h"

int main(int argc, char** argv) {
  using namespace pellmora::testing;
  if (argc != 2) {
    std::fprintf(stderr, "usage: script_test_registration register|unregister\n");
    return 2;
  }
  HRESULT result = E_INVALIDARG;
  if (std::strcmp(argv[1], "register") == 0) {
    result = RegisterClassByHand();
    if (SUCCEEDED(result)) result = RegisterTypeLibrary();
  } else if (std::strcmp(argv[1], "unregister") == 0) {
    // Both steps run even when the first fails, so that nothing is left behind.
    const HRESULT classes = UnregisterClassByHand();
    const HRESULT library = UnregisterTypeLibrary();
    result = FAILED(classes) ? classes : library;
  }
  if (FAILED(result)) std::fprintf(stderr, "%s failed: 0x%08lX\n", argv[1], static_cast<unsigned long>(result));
  return FAILED(result) ? 1 : 0;
}

// Feeds arbitrary UTF-16 text (the input's bytes, little-endian pairs) to parse and checks what
// must hold for every input: reading it counted and reading it up to its terminator give the
// same record, with the vector search and with the plain one, from every alignment of its start;
// and both OLE DB forms of that record read back to it exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "model/connection_settings.h"
#include "model/unit_search.h"

namespace {

using pellmora::ConnectionSettings;

bool SameFields(const ConnectionSettings& a, const ConnectionSettings& b) {
  return a.UID == b.UID && a.PassWord == b.PassWord && a.Catalog == b.Catalog && a.DataSource == b.DataSource &&
         a.Timeout == b.Timeout && a.CurrentLanguage == b.CurrentLanguage && a.Provider == b.Provider;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);

  ConnectionSettings counted;
  counted.parse(text);
  ConnectionSettings terminated;
  terminated.ParseTerminated(text.c_str());
  if (!SameFields(counted, terminated)) std::abort();
  for (size_t skip = 0; skip < 8 && skip <= text.size(); ++skip) {
    ConnectionSettings read[2][2];
    for (const bool plain : {true, false}) {
      pellmora::ForcePlainSearch(plain);
      read[plain][0].parse(std::u16string_view(text).substr(skip));
      read[plain][1].ParseTerminated(text.c_str() + skip);
    }
    pellmora::ForcePlainSearch(false);
    if (!SameFields(read[0][0], read[1][0]) || !SameFields(read[0][1], read[1][1])) std::abort();
    if (skip == 0 && !SameFields(read[0][0], counted)) std::abort();
  }

  // What the forms carry: every field but Timeout, and the provider they name.
  ConnectionSettings expected = counted;
  expected.Timeout.clear();
  expected.Provider = u"SQLOLEDB";
  for (const std::u16string& form : {counted.OleDBString(), counted.OleDBString2()}) {
    ConnectionSettings reread;
    reread.parse(form);
    if (!SameFields(reread, expected)) std::abort();
  }
  counted.ODBCString();
  return 0;
}

// The settings of one connection: seven texts, filled by parsing a connection string or one at a
// time, from which the three ready-made connection strings are built. Values are kept exactly as
// received: never trimmed, case-folded or validated.
#pragma once

#include <string>

namespace pellmora {

class ConnectionSettings {
 public:
  ConnectionSettings() = default;
  virtual ~ConnectionSettings() = default;

  // Every field becomes empty.
  void Reset();

  // Replaces the contents with what `text` yields (see parser.cpp); always true. The text ends
  // at its first U+0000, if it holds one: no field can hold that unit. The text may lie in one of
  // the record's own fields.
  bool parse(std::u16string_view text);
  // The same for a text that ends at its first U+0000 (such as an automation string), read in
  // place: nothing is read beyond that unit, and a null text is the empty text.
  bool ParseTerminated(const char16_t* text);

  // The ODBC form for the SQL Server driver and the two OLE DB forms for SQLOLEDB.
  std::u16string ODBCString() const;
  std::u16string OleDBString() const;
  std::u16string OleDBString2() const;

  std::u16string UID;
  std::u16string PassWord;
  std::u16string Catalog;
  std::u16string DataSource;
  std::u16string Timeout;
  std::u16string CurrentLanguage;
  std::u16string Provider;
};

}  // namespace pellmora

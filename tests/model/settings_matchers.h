// Expected record contents written as a short list of (field, text) pairs; every field the list
// does not name must be empty.
#pragma once

#include <gtest/gtest.h>

#include <vector>
#include <string>
#include <utility>

#include "model/connection_settings.h"

namespace pellmora::testing {

using Field = std::u16string ConnectionSettings::*;

struct FieldName {
  Field field;
  const char* name;
};

inline constexpr FieldName kFields[] = {
    {&ConnectionSettings::UID, "UID"},           {&ConnectionSettings::PassWord, "PassWord"},
    {&ConnectionSettings::Catalog, "Catalog"},   {&ConnectionSettings::DataSource, "DataSource"},
    {&ConnectionSettings::Timeout, "Timeout"},   {&ConnectionSettings::CurrentLanguage, "CurrentLanguage"},
    {&ConnectionSettings::Provider, "Provider"},
};

using Expected = std::vector<std::pair<Field, std::u16string>>;

inline void ExpectFields(const ConnectionSettings& actual, const Expected& expected, const std::string& context) {
  for (const FieldName& each : kFields) {
    std::u16string want;
    for (const auto& [field, text] : expected) {
      if (field == each.field) want = text;
    }
    EXPECT_EQ(actual.*each.field, want) << context << ": field " << each.name;
  }
}

}  // namespace pellmora::testing

// The getters of an object's seven settings, in the record's order: the tests that compare an
// object's state after a call read it through these.
#pragma once

#include "automation/pellmora_lib.h"

namespace pellmora::testing {

using SettingGetter = HRESULT (STDMETHODCALLTYPE IConnectionString::*)(BSTR*);

inline const SettingGetter kSettingGetters[] = {&IConnectionString::get_UID,
                                                &IConnectionString::get_PassWord,
                                                &IConnectionString::get_Catalog,
                                                &IConnectionString::get_Provider,
                                                &IConnectionString::get_DataSource,
                                                &IConnectionString::get_Timeout,
                                                &IConnectionString::get_CurrentLanguage};

}  // namespace pellmora::testing

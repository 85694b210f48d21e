#include "model/connection_settings.h"

namespace pellmora {

void ConnectionSettings::Reset() {
  UID.clear();
  PassWord.clear();
  Catalog.clear();
  DataSource.clear();
  Timeout.clear();
  CurrentLanguage.clear();
  Provider.clear();
}

}  // namespace pellmora

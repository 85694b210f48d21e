// A fixture for running script bodies against a key of their own,
// HKEY_CURRENT_USER\Software\PellmoraTests\<test name>, which exists (empty) when the test starts
// and is deleted when it ends. On the host every test starts from an empty registry and must
// leave no handle open.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "registry_snapshot.h"

namespace pellmora::testing {

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's key below HKEY_CURRENT_USER.
  std::string KeyPath() const { return "Software\\PellmoraTests\\" + name_; }
  // `body` placed inside the block of the test's key (the keys above it marked "NoRemove").
  std::string Wrap(const std::string& body) const;
  HRESULT Register(const std::string& body) { return RunText(Wrap(body), true); }
  HRESULT Unregister(const std::string& body) { return RunText(Wrap(body), false); }
  // Runs a whole script through a parser bound to `registrar_`.
  HRESULT RunText(const std::string& text, bool doRegister);
  // Snapshot of the test's key.
  std::string State() const { return Snapshot(HKEY_CURRENT_USER, KeyPath()); }
  // Creates a key below the test's key.
  void Create(const std::string& relative) const {
    ASSERT_TRUE(CreateKey(HKEY_CURRENT_USER, KeyPath() + "\\" + relative));
  }

  ScriptRegistrar registrar_;

 private:
  std::string name_;
};

}  // namespace pellmora::testing

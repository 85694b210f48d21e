// The registration-script engine on the host: the replacement pass over growing scripts (its
// buffer doubles, so the time per byte stays flat), the lexer, and a full register/unregister of
// the class script against the in-memory registry.
#include <benchmark/benchmark.h>

#include <string>

#include "registrar/script_parser.h"
#include "registrar/script_registrar.h"
#include "support/host/host_registry_control.h"

namespace {

using pellmora::ScriptParser;
using pellmora::ScriptRegistrar;
using pellmora::TaskText;

const char kClassScript[] =
    "HKCR\r\n{\r\n\tVantelby.ConStringHelper.1 = s 'ConnectionString Class'\r\n\t{\r\n\t\tCLSID = s "
    "'{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7}'\r\n\t}\r\n\tNoRemove CLSID\r\n\t{\r\n\t\tForceRemove "
    "{2CE7C78C-4E98-4491-9DDD-6B8D554A3FE7} = s 'ConnectionString Class'\r\n\t\t{\r\n\t\t\tForceRemove "
    "'Programmable'\r\n\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n\t\t\t\tval ThreadingModel = s "
    "'Apartment'\r\n\t\t\t}\r\n\t\t\tval AppID = s '%APPID%'\r\n\t\t}\r\n\t}\r\n}";

void DefineReplacements(ScriptRegistrar& registrar) {
  registrar.DefineReplacement(u"APPID", u"{8250A1E9-6C93-4FE6-A5EF-3FC52222A279}");
  registrar.DefineReplacement(u"Module", u"C:\\Program Files\\Pellmora\\Pellmora.dll");
}

// A script of `lines` entries, each naming two replacements.
std::string LargeScript(int lines) {
  std::string text = "HKCU\r\n{\r\n";
  for (int i = 0; i < lines; ++i) {
    text += "\tKey" + std::to_string(i) + " = s '%MODULE%' { val AppID = s '%APPID%' }\r\n";
  }
  return text + "}";
}

void BM_ExpandReplacements(benchmark::State& state) {
  ScriptRegistrar registrar;
  DefineReplacements(registrar);
  const std::string text = LargeScript(static_cast<int>(state.range(0)));
  ScriptParser parser(registrar);
  for (auto _ : state) {
    TaskText expanded;
    benchmark::DoNotOptimize(parser.ExpandReplacements(text.c_str(), &expanded));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ExpandReplacements)->Arg(10)->Arg(1000)->Arg(100000);

void BM_ReadTokens(benchmark::State& state) {
  ScriptRegistrar registrar;
  const std::string text = LargeScript(10000);
  ScriptParser parser(registrar);
  char token[pellmora::kTokenCapacity];
  for (auto _ : state) {
    parser.SetCursor(text.c_str());
    while (SUCCEEDED(parser.ReadToken(token))) {
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTokens);

void BM_RegisterAndUnregisterClassScript(benchmark::State& state) {
  HostResetRegistry();
  ScriptRegistrar registrar;
  DefineReplacements(registrar);
  for (auto _ : state) {
    ScriptParser parser(registrar);
    benchmark::DoNotOptimize(parser.RunScript(kClassScript, true));
    benchmark::DoNotOptimize(parser.RunScript(kClassScript, false));
  }
}
BENCHMARK(BM_RegisterAndUnregisterClassScript);

}  // namespace

// Cost of parse and of each builder on a typical connection string and on 1 MiB of pairs, against
// a baseline that only scans the same text once for ";" and "=".
#include <benchmark/benchmark.h>

#include <string>

#include "model/connection_settings.h"

namespace {

using pellmora::ConnectionSettings;

const std::u16string& TypicalText() {
  static const std::u16string text =
      u"Provider=SQLOLEDB;Data Source=db-server-07.example.lan;Initial Catalog=Inventory;"
      u"User ID=report_reader;Password='s3cr''et;pw';Connect Timeout=30";
  return text;
}

// About 1 MiB of UTF-16 (512 Ki units) of pairs: recognised and unknown keys, quoted and bare
// values, so every branch of the parser is exercised across the whole input.
const std::u16string& LargeText() {
  static const std::u16string text = [] {
    const std::u16string pairs[] = {u"Server=host-0001;", u"Database=\"cat;alog\";", u"uid='o''brien';",
                                    u"Application Name=bench;", u"pwd=p@ss=word;"};
    std::u16string built;
    for (size_t i = 0; built.size() < 512 * 1024; ++i) built += pairs[i % 5];
    built.resize(512 * 1024);
    return built;
  }();
  return text;
}

const std::u16string& Input(int which) { return which == 0 ? TypicalText() : LargeText(); }

void SetBytes(benchmark::State& state, const std::u16string& text) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size() * 2));
  state.SetLabel(text.size() < 1000 ? "typical" : "1MiB");
}

void BM_ScanBaseline(benchmark::State& state) {
  const std::u16string& text = Input(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    size_t separators = 0;
    for (const char16_t unit : text) separators += (unit == u';') + (unit == u'=');
    benchmark::DoNotOptimize(separators);
  }
  SetBytes(state, text);
}

void BM_Parse(benchmark::State& state) {
  const std::u16string& text = Input(static_cast<int>(state.range(0)));
  ConnectionSettings settings;
  for (auto _ : state) benchmark::DoNotOptimize(settings.parse(text));
  SetBytes(state, text);
}

// Arg 0: the settings of the typical string. Arg 1: five fields of 100 Ki units each (about
// 1 MiB in all) holding quotes, semicolons and braces, so every escaping step has work to do.
ConnectionSettings BuilderInput(int which) {
  ConnectionSettings settings;
  if (which == 0) {
    settings.parse(TypicalText());
    return settings;
  }
  std::u16string field;
  while (field.size() < 100 * 1024) field += u"ab'c;d}e\"f ";
  settings.UID = settings.PassWord = settings.Catalog = settings.DataSource = settings.CurrentLanguage = field;
  return settings;
}

template <std::u16string (ConnectionSettings::*Builder)() const>
void BM_Build(benchmark::State& state) {
  const ConnectionSettings settings = BuilderInput(static_cast<int>(state.range(0)));
  size_t outputUnits = 0;
  for (auto _ : state) {
    std::u16string form = (settings.*Builder)();
    outputUnits = form.size();
    benchmark::DoNotOptimize(form);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(outputUnits * 2));
  state.SetLabel(state.range(0) == 0 ? "typical" : "1MiB");
}

}  // namespace

BENCHMARK(BM_ScanBaseline)->Arg(0)->Arg(1);
BENCHMARK(BM_Parse)->Arg(0)->Arg(1);
BENCHMARK(BM_Build<&ConnectionSettings::ODBCString>)->Name("BM_ODBCString")->Arg(0)->Arg(1);
BENCHMARK(BM_Build<&ConnectionSettings::OleDBString>)->Name("BM_OleDBString")->Arg(0)->Arg(1);
BENCHMARK(BM_Build<&ConnectionSettings::OleDBString2>)->Name("BM_OleDBString2")->Arg(0)->Arg(1);

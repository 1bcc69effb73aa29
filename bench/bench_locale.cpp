// Localisation: start-up parse of the English locale, cached lookups,
// expansions with variables and the number format.
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_parser.h"
#include "app/locale/locale_string_table.h"

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// The English locale beside this source file's folder.
std::string EnglishLocaleText() {
    std::string source = __FILE__;
    std::string root = source.substr(0, source.rfind("bench/"));
    std::vector<char> data;
    Locale_ReadTextFile(root + "app/locale/data/Locale-en-GB.txt", data);
    return std::string(data.begin(), data.end());
}

void BM_ParseEnglishLocale(benchmark::State& state) {
    const std::string text = EnglishLocaleText();
    for (auto _ : state) {
        LocaleStringTable table;
        std::istringstream stream(text);
        Locale_ParseInto(table, stream, "Locale-en-GB.txt", [](const std::string&) {});
        benchmark::DoNotOptimize(table.Size());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseEnglishLocale);

void BM_CachedLookup(benchmark::State& state) {
    LocaleStringTable table;
    table.Set("MenuFileOpen", "&Open...");
    table.GetString("MenuFileOpen");
    for (auto _ : state)
        benchmark::DoNotOptimize(table.GetString("MenuFileOpen"));
}
BENCHMARK(BM_CachedLookup)->ThreadRange(1, 8);

void BM_ExpandWithVariables(benchmark::State& state) {
    LocaleStringTable table;
    table.Set("CastInvOkMsg",
              "The cast has been inverted.\\n\\n{num_matches} marker pairs were used: mean error "
              "{mean_err} mm, largest error {sup_err} mm.");
    for (auto _ : state) {
        LocaleVariable* list[] = {Locale_NewIntVariable("num_matches", 6),
                                  Locale_NewNumberVariable("mean_err", 0.4321, 1),
                                  Locale_NewNumberVariable("sup_err", 1.25, 1), nullptr};
        benchmark::DoNotOptimize(table.Expand("CastInvOkMsg", list));
    }
}
BENCHMARK(BM_ExpandWithVariables);

void BM_FormatNumber(benchmark::State& state) {
    char out[70];
    double value = 1234.5678;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Locale_FormatNumber(2, out, sizeof out, value));
        value += 0.001;
    }
}
BENCHMARK(BM_FormatNumber);

}  // namespace

BENCHMARK_MAIN();

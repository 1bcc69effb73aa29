// Lookups come from worker threads too (surface builds, registration). Run
// under ThreadSanitizer (the native-tsan preset) this shows the string
// table, its cache, the dialog table and the number format free of races.
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_string_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 8;
constexpr int kKeys = 200;

TEST(LocaleThreads, FreshAndCachedLookupsAgreeAcrossThreads) {
    LocaleStringTable& strings = Locale_Strings();
    for (int k = 0; k < kKeys; ++k)
        strings.Set("ThreadKey" + std::to_string(k), "Text {n} of " + std::to_string(k));
    Locale_RegisterDialogTexts();
    const char* cached = Locale_GetString("ThreadKey0");

    // Every thread fetches every key; even keys exist, odd ones are fetched
    // as missing keys. All threads start together so that first lookups of
    // the same key meet.
    std::vector<std::vector<const char*>> seen(kThreads, std::vector<const char*>(kKeys));
    std::atomic<int> ready{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < kThreads) {
            }
            for (int i = 0; i < kKeys; ++i) {
                int k = (i + t * 25) % kKeys;
                std::string key = (k % 2 ? "MissingThreadKey" : "ThreadKey") + std::to_string(k);
                seen[t][k] = Locale_GetString(key.c_str());
                if (Locale_GetString("ThreadKey0") != cached)
                    ++failures;
                std::string text;
                Locale_FormatString(text, key.c_str(), Locale_NewIntVariable("n", 1000 * t + i),
                                    Locale_NewNumberVariable("unused", 1.5, 2));
                char number[70];
                if (Locale_FormatNumber(2, number, sizeof number, 1234.5678 * t) <= 0)
                    ++failures;
                Locale_ApplyDialogTexts(342, [&](int, const char* text) {
                    if (!text)
                        ++failures;
                });
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(failures, 0);
    for (int k = 0; k < kKeys; ++k) {
        for (int t = 1; t < kThreads; ++t)
            EXPECT_EQ(seen[t][k], seen[0][k]) << k;
    }
    EXPECT_STREQ(seen[0][2], "Text {n} of 2");
    EXPECT_STREQ(seen[0][3], "**MissingThreadKey3");
}

}  // namespace

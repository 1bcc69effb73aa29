// Shared steps of the scan-file error and mutation tests: the shipped
// English texts, a small saved scan, and files made from it with items
// changed and signed again, so that the changes reach the item parsers.
#pragma once

#include "app/scanfile/tests/scan_file_fixture.h"

#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_string_table.h"

#include <functional>
#include <string>

namespace scan_file_test {

inline void LoadShippedLocale() {
    Locale_LoadInto(Locale_Strings(), TEST_SOURCE_DIR "../locale/data/", [](const std::string&) {});
}

// A small scan with both surfaces and a few landmarks, saved to `path`.
inline void SaveSmallScan(const std::string& path) {
    ScanDocument doc;
    RawData& raw = doc.raw();
    for (int p = 0; p < 4; ++p) {
        scan_test::OwnedProfile profile = WavyProfile(static_cast<float>(p), 6 + p % 2, nullptr);
        doc.scan.Append(profile.Get());
    }
    doc.scan.CloseSweep();
    ASSERT_EQ(Scan_ProcessNewProfiles(raw, 0, 4.0f), kScanProcessOk);
    raw.Points[1].Flags = 1 | (1 << kPointEraseShift);
    raw.SelectionLimit = raw.EditLimit = 1;
    raw.Stylus.Items = static_cast<StylusItem*>(std::malloc(3 * sizeof(StylusItem)));
    raw.Stylus.Items[0] = Item(0, 0, 1, 2, 3, 4);
    raw.Stylus.Items[1] = LineHead(0, 1);
    raw.Stylus.Items[2] = Item(kStylusLineMember, 1, 2, 2, 3, 6);
    raw.Stylus.Capacity = raw.Stylus.TotalCount = raw.Stylus.VisibleCount = 3;
    raw.Stylus.GroupCount = 2;
    FillSurface(doc.basic, 5, 0.0f, true);
    FillSurface(doc.rbf, 4, 1.0f, false);
    doc.history = ItemMeta_New(1);
    ASSERT_TRUE(doc.Save(path)) << doc.error;
}

// The file's items with `change` applied, signed again into `out`.
inline bool Resign(const std::string& in, const std::string& out, const std::function<void(ItemStore*)>& change) {
    ItemStore* store = ItemStore_Create();
    bool ok = ItemFile_ReadSigned(store, in, kScanFileSigningKey, kContainerKeyLength);
    if (ok) {
        change(store);
        ok = ItemFile_WriteSigned(store, out, kScanFileSigningKey, kContainerKeyLength);
    }
    ItemStore_Free(store);
    return ok;
}

// After a failed load every output is empty and the library got nothing.
inline void ExpectEmptyOutputs(ScanDocument& doc) {
    const RawData& raw = doc.raw();
    EXPECT_EQ(raw.NumSweeps, 0);
    EXPECT_EQ(raw.NumProfiles, 0);
    EXPECT_EQ(raw.NumPoints, 0);
    EXPECT_EQ(raw.NumFacets, 0);
    EXPECT_EQ(raw.Profiles, nullptr);
    EXPECT_EQ(raw.Stylus.TotalCount, 0);
    EXPECT_EQ(doc.basic.NumPoints, 0);
    EXPECT_EQ(doc.rbf.NumPoints, 0);
    EXPECT_EQ(doc.basic.Points, nullptr);
    EXPECT_EQ(doc.current, &doc.basic);
    EXPECT_EQ(doc.history, nullptr);
    EXPECT_TRUE(doc.foreign.items.empty());
    EXPECT_TRUE(doc.fit.handed.empty());
}

}  // namespace scan_file_test

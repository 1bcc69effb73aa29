// Keyed container speed: SHA-1 and AES-CBC throughput, and the save and load
// of a scan-sized signed store (items referencing large float arrays).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/files/aes_cbc.h"
#include "app/files/container_keys.h"
#include "app/files/item_file.h"
#include "app/files/item_store.h"
#include "app/files/sha1.h"

namespace {

void BM_Sha1(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x5A);
    std::uint8_t digest[kSha1DigestSize];
    for (auto _ : state) {
        Sha1State sha;
        Sha1_Init(&sha);
        Sha1_Update(&sha, data.data(), data.size());
        Sha1_Final(&sha, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha1)->Arg(1 << 20);

bool Discard(const void*, std::size_t, void*) { return true; }

void BM_AesCbcEncrypt(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x33);
    for (auto _ : state) {
        AesCbcWriter* writer = AesCbc_NewWriter(&Discard, nullptr);
        AesCbc_SetKey(writer, kLocaleDecryptionKey, kContainerKeyLength);
        AesCbc_Write(writer, data.data(), data.size());
        AesCbc_FreeWriter(writer);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AesCbcEncrypt)->Arg(1 << 20);

bool Collect(const void* bytes, std::size_t count, void* user) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(user);
    out->insert(out->end(), static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + count);
    return true;
}

void BM_AesCbcDecrypt(benchmark::State& state) {
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(state.range(0)), 0x33), body;
    AesCbcWriter* writer = AesCbc_NewWriter(&Collect, &body);
    AesCbc_SetKey(writer, kLocaleDecryptionKey, kContainerKeyLength);
    AesCbc_Write(writer, plain.data(), plain.size());
    AesCbc_FreeWriter(writer);
    AesCbcReader* reader = AesCbc_NewReader();
    AesCbc_SetDecryptKey(reader, kLocaleDecryptionKey, kContainerKeyLength);
    for (auto _ : state) {
        AesCbc_DecryptAll(reader, body.data(), body.size(), plain.data());
        benchmark::DoNotOptimize(plain.data());
    }
    AesCbc_FreeReader(reader);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AesCbcDecrypt)->Arg(1 << 20);

// A scan-like store: `points` float32 triples plus per-point flags.
struct ScanStore {
    std::vector<float> points;
    std::vector<std::uint32_t> flags;
    ItemStore* store = ItemStore_Create();
    explicit ScanStore(int count) : points(static_cast<std::size_t>(count) * 3, 1.5f), flags(static_cast<std::size_t>(count), 7) {
        ItemStore_AddItem(store, "Raw/Points", points.data(), ItemType::Float32, 2, count, 3);
        ItemStore_AddItem(store, "Raw/Flags", flags.data(), ItemType::UInt32, 1, count);
        ItemStore_AddString(store, "__meta__/create/program", "bench");
    }
    ~ScanStore() { ItemStore_Free(store); }
};

std::string BenchPath() {
    return (std::filesystem::temp_directory_path() / "tolvaran-bench-container.tvn").string();
}

void BM_SaveSignedScan(benchmark::State& state) {
    ScanStore scan(static_cast<int>(state.range(0)));
    const std::string path = BenchPath();
    for (auto _ : state)
        if (!ItemFile_WriteSigned(scan.store, path, kScanFileSigningKey, kContainerKeyLength))
            state.SkipWithError(scan.store->error.text);
    state.SetBytesProcessed(state.iterations() * state.range(0) * 16);
    std::remove(path.c_str());
}
BENCHMARK(BM_SaveSignedScan)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_LoadSignedScan(benchmark::State& state) {
    ScanStore scan(static_cast<int>(state.range(0)));
    const std::string path = BenchPath();
    ItemFile_WriteSigned(scan.store, path, kScanFileSigningKey, kContainerKeyLength);
    for (auto _ : state) {
        ItemStore* read = ItemStore_Create();
        if (!ItemFile_ReadSigned(read, path, kScanFileSigningKey, kContainerKeyLength))
            state.SkipWithError(read->error.text);
        ItemStore_Free(read);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 16);
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadSignedScan)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_AddAndFindItems(benchmark::State& state) {
    static std::int32_t value = 1;
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back("Sweep" + std::to_string(i % 50) + "/Item" + std::to_string(i));
    for (auto _ : state) {
        ItemStore* store = ItemStore_Create();
        for (const std::string& name : names) ItemStore_AddItem(store, name, &value, ItemType::Int32, 0);
        for (const std::string& name : names) benchmark::DoNotOptimize(ItemStore_FindItem(store, name));
        ItemStore_Free(store);
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_AddAndFindItems)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();

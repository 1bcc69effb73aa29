// Natively there is no registry: no key opens, so every setting keeps its
// default and nothing is saved.
#include "app/files/settings_registry.h"

namespace {

class NoRegistry final : public RegistryAccess {
public:
    bool Open(RegistryRoot, const char*, Key&) override { return false; }
    bool Create(RegistryRoot, const char*, Key&) override { return false; }
    void Close(Key) override {}
    bool QueryInfo(Key, const char*, uint32_t&, uint32_t&) override { return false; }
    bool Read(Key, const char*, void*, uint32_t) override { return false; }
    long Write(Key, const char*, uint32_t, const void*, uint32_t) override { return 1; }
};

}  // namespace

RegistryAccess& Registry_System() {
    static NoRegistry registry;
    return registry;
}

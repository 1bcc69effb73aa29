// An in-memory registry for the settings tests, with injected failures and a
// count of the writes that reached it.
#pragma once

#include "app/files/settings_registry.h"

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class FakeRegistry final : public RegistryAccess {
  public:
    struct Value {
        uint32_t type = 0;
        std::vector<unsigned char> data;
    };
    using Values = std::map<std::string, Value>;

    std::map<std::pair<RegistryRoot, std::string>, Values> keys;
    bool createFails = false;             // no key can be created
    std::set<std::string> failingWrites;  // value names whose write fails
    int writes = 0;
    int openKeys = 0;  // keys opened and not yet closed
    int reads = 0;     // value reads that reached it
    // Sizes reported for values in place of their data's own (a value as
    // large as the registry can claim).
    std::map<std::string, uint32_t> reportedSizes;

    Values& KeyValues(RegistryRoot root, const std::string& path) { return keys[{root, path}]; }

    void SetDword(RegistryRoot root, const std::string& path, const std::string& name, uint32_t value) {
        Set(root, path, name, kRegDword, &value, 4);
    }
    void Set(RegistryRoot root, const std::string& path, const std::string& name, uint32_t type, const void* data,
             size_t size) {
        Value& v = KeyValues(root, path)[name];
        v.type = type;
        v.data.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    }
    const Value* Find(RegistryRoot root, const std::string& path, const std::string& name) const {
        auto k = keys.find({root, path});
        if (k == keys.end()) return nullptr;
        auto v = k->second.find(name);
        return v == k->second.end() ? nullptr : &v->second;
    }

    bool Open(RegistryRoot root, const char* path, Key& key) override {
        auto k = keys.find({root, path});
        if (k == keys.end()) return false;
        key = Handle(k->first);
        return true;
    }
    bool Create(RegistryRoot root, const char* path, Key& key) override {
        if (createFails) return false;
        auto k = keys.emplace(std::make_pair(root, std::string(path)), Values()).first;
        key = Handle(k->first);
        return true;
    }
    void Close(Key) override { --openKeys; }
    bool QueryInfo(Key key, const char* name, uint32_t& type, uint32_t& size) override {
        const Value* v = Lookup(key, name);
        if (!v) return false;
        type = v->type;
        size = static_cast<uint32_t>(v->data.size());
        if (reportedSizes.count(name)) size = reportedSizes.at(name);
        return true;
    }
    bool Read(Key key, const char* name, void* data, uint32_t size) override {
        ++reads;
        const Value* v = Lookup(key, name);
        if (!v || v->data.size() != size) return false;
        if (size) std::memcpy(data, v->data.data(), size);
        return true;
    }
    long Write(Key key, const char* name, uint32_t type, const void* data, uint32_t size) override {
        if (failingWrites.count(name)) return 5;  // access denied
        ++writes;
        Set(handles_[key - 1].first, handles_[key - 1].second, name, type, data, size);
        return 0;
    }

  private:
    std::vector<std::pair<RegistryRoot, std::string>> handles_;
    Key Handle(const std::pair<RegistryRoot, std::string>& k) {
        ++openKeys;
        handles_.push_back(k);
        return handles_.size();
    }
    const Value* Lookup(Key key, const char* name) const {
        const auto& k = handles_[key - 1];
        return Find(k.first, k.second, name);
    }
};

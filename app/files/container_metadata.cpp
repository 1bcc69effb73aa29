#include "app/files/container_metadata.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char* const kMeta = "__meta__";

std::string EntryName(int edit) { return edit < 0 ? "create" : "edit" + std::to_string(edit); }

std::string FieldPath(int edit, const char* field) {
    return std::string(kMeta) + "/" + EntryName(edit) + "/" + field;
}

// The edit number of a "__meta__/edit<N>" path, or -1.
long long EditNumber(const StoreItem& item) {
    if (item.path.size() < 2 || item.path[0] != kMeta) return -1;
    const std::string& name = item.path[1];
    if (name.size() <= 4 || name.compare(0, 4, "edit") != 0 || name.size() > 4 + 9) return -1;
    long long number = 0;
    for (std::size_t i = 4; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

std::optional<std::string> ReadText(const StoreItem* item) {
    if (!item || item->type != ItemType::String || !item->data) return std::nullopt;
    const char* text = item->As<char>();
    std::size_t length = item->byteSize;
    // The stored bytes end with the terminator; a text stops at the first zero.
    return std::string(text, std::find(text, text + length, '\0'));
}

ItemMetaEntry ReadEntry(ItemStore* store, int edit) {
    ItemMetaEntry entry;
    auto find = [&](const char* field) { return ItemStore_FindItemPath(store, ItemPath_Split(FieldPath(edit, field))); };
    entry.os = ReadText(find("os"));
    entry.program = ReadText(find("program"));
    entry.program_text = ReadText(find("program_text"));
    entry.user = ReadText(find("user"));
    entry.user_text = ReadText(find("user_text"));
    const StoreItem* time = find("time");
    if (time && time->type == ItemType::Time && time->dimensionCount == 0 && time->data)
        std::memcpy(&entry.time, time->data, sizeof entry.time);
    return entry;
}

bool IsEmpty(const ItemMetaEntry& e) {
    return !e.os && !e.program && !e.program_text && !e.user && !e.user_text && e.time == 0.0;
}

void WriteText(ItemStore* store, int edit, const char* field, const std::optional<std::string>& text) {
    std::string path = FieldPath(edit, field);
    if (text)
        ItemStore_AddString(store, path, text->c_str());
    else
        ItemStore_RemoveItem(store, ItemPath_Split(path));
}

void WriteEntry(ItemStore* store, int edit, const ItemMetaEntry& e) {
    WriteText(store, edit, "os", e.os);
    WriteText(store, edit, "program", e.program);
    WriteText(store, edit, "program_text", e.program_text);
    ItemStore_AddTime(store, FieldPath(edit, "time"), e.time != 0.0 ? e.time : ItemFile_CurrentTime());
    WriteText(store, edit, "user", e.user);
    WriteText(store, edit, "user_text", e.user_text);
}

std::optional<std::string> Copy(const char* text) {
    return text ? std::optional<std::string>(text) : std::nullopt;
}

}  // namespace

ItemMetadata* ItemMeta_New(int room) {
    try {
        auto* record = new ItemMetadata();
        record->edits.reserve(room > 0 ? static_cast<std::size_t>(room) : 0);
        return record;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ItemMeta_Free(ItemMetadata* record) { delete record; }

bool ItemMeta_FillCurrent(ItemMetaEntry* entry, const char* program_text, const char* user_text,
                          const char* program, const char* user, const char* os, double time) {
    if (!program) program = ItemMeta_ProgramName();
    if (!user) user = ItemMeta_UserName();
    if (!os) os = ItemMeta_OsText();
    if (!program || !user || !os) return false;
    try {
        ItemMetaEntry filled;
        filled.program = program;
        filled.user = user;
        filled.os = os;
        filled.user_text = Copy(user_text);
        filled.program_text = Copy(program_text);
        filled.time = time == 0.0 ? ItemFile_CurrentTime() : time;
        *entry = std::move(filled);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ItemMeta_AppendEdit(ItemMetadata* record, const char* program_text, const char* user_text,
                         const char* program, const char* user, const char* os, double time) {
    try {
        if (record->edits.size() == record->edits.capacity())
            record->edits.reserve(record->edits.size() + 16);
        ItemMetaEntry entry;
        if (!ItemMeta_FillCurrent(&entry, program_text, user_text, program, user, os, time)) return false;
        record->edits.push_back(std::move(entry));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

ItemMetadata* ItemMeta_Read(ItemStore* store) {
    try {
        // The edit numbers that items name, in order: a file naming only
        // "edit1000000" costs one entry, not a million.
        std::vector<long long> numbers;
        for (const StoreItem* item = store->first; item; item = item->next) {
            long long n = EditNumber(*item);
            if (n >= 0 && (numbers.empty() || numbers.back() != n)) numbers.push_back(n);
        }
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        ItemMetadata* record = ItemMeta_New(static_cast<int>(numbers.size()) + 5);
        if (!record) return nullptr;
        record->create = ReadEntry(store, -1);
        for (long long n : numbers) {
            ItemMetaEntry entry = ReadEntry(store, static_cast<int>(n));
            if (!IsEmpty(entry)) record->edits.push_back(std::move(entry));
        }
        return record;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void ItemMeta_Write(ItemStore* store, const ItemMetadata* record) {
    try {
        WriteEntry(store, -1, record->create);
        for (std::size_t i = 0; i < record->edits.size(); ++i)
            WriteEntry(store, static_cast<int>(i), record->edits[i]);
    } catch (const std::bad_alloc&) {
        // Failures to add an item are not reported.
    }
}

double ItemFile_CurrentTime() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(ms) / 1000.0;
}

std::string ItemMeta_ProgramNameFromPath(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() > 256) name.resize(256);
    if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
    return name;
}

std::string ItemMeta_FormatOsText(int major, int minor, bool ntPlatform, const std::string& servicePack) {
    const char* name = nullptr;
    if (major == 3 && minor == 51) name = "NT 3.51";
    else if (major == 4 && minor == 0) name = ntPlatform ? "NT 4.0" : "95";
    else if (major == 4 && minor == 10) name = "98";
    else if (major == 4 && minor == 90) name = "Me";
    else if (major == 5 && minor == 0) name = "2000";
    else if (major == 5 && minor == 1) name = "XP";
    else if (major == 5 && minor == 2) name = "Server 2003";
    std::string text = "Microsoft Windows ";
    if (!name) {
        text += "(unknown)";
    } else {
        text += name;
        std::string pack = !servicePack.empty() && servicePack[0] == ' ' ? servicePack.substr(1) : servicePack;
        if (!pack.empty()) text += " (" + pack + ")";
    }
    if (text.size() > 127) text.resize(127);
    return text;
}

const char* ItemMeta_ProgramName() {
    static const std::string name = ItemMeta_ProgramNameFromPath(ItemMeta_PlatformProgramPath());
    return name.empty() ? nullptr : name.c_str();
}

const char* ItemMeta_UserName() {
    static const std::string name = [] {
        const char* variable = std::getenv("USERNAME");
        std::string user = variable ? std::string(variable).substr(0, 512) : std::string();
        return user.empty() ? ItemMeta_PlatformUserName() : user;
    }();
    return name.empty() ? nullptr : name.c_str();
}

const char* ItemMeta_OsText() {
    static const std::string text = [] {
        int major = 0, minor = 0;
        bool nt = false;
        std::string pack;
        if (!ItemMeta_PlatformVersion(&major, &minor, &nt, &pack)) major = minor = -1;
        return ItemMeta_FormatOsText(major, minor, nt, pack);
    }();
    return text.c_str();
}

// The history of a container (who made it, with which program, on which
// system, when; and the same for every later edit), stored as "string" and
// "time" items under "__meta__/<entry>/<field>" of an ItemStore. The entry
// names are "create" and "edit0", "edit1", ... oldest first.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/files/item_store.h"

struct ItemMetaEntry {
    std::optional<std::string> program;
    std::optional<std::string> user;
    std::optional<std::string> os;
    std::optional<std::string> user_text;
    std::optional<std::string> program_text;  // what was done, such as "New Scan"
    double time = 0.0;  // seconds since 1970 UTC, milliseconds as fraction
};

struct ItemMetadata {
    ItemMetaEntry create;
    std::vector<ItemMetaEntry> edits;  // its capacity is the room for edits
};

// A record with an empty creation entry and room for `room` edits (a
// negative number counts as 0); nullptr when memory runs out.
ItemMetadata* ItemMeta_New(int room);
void ItemMeta_Free(ItemMetadata* record);  // accepts nullptr

// Fills one entry. Absent program, user and os take the defaults below, a
// time of exactly 0 the current time. False, with the entry unchanged, when
// program, user or os is still absent or memory runs out.
bool ItemMeta_FillCurrent(ItemMetaEntry* entry, const char* program_text, const char* user_text,
                          const char* program, const char* user, const char* os, double time);
// Appends an edit entry filled as above; false (nothing appended) on failure.
bool ItemMeta_AppendEdit(ItemMetadata* record, const char* program_text, const char* user_text,
                         const char* program, const char* user, const char* os, double time);

// A record filled from the store's "__meta__" items; nullptr only when
// memory runs out. Missing edit numbers leave no gaps.
ItemMetadata* ItemMeta_Read(ItemStore* store);
// Adds or replaces the record's items; an absent text removes its item.
void ItemMeta_Write(ItemStore* store, const ItemMetadata* record);

// Now, as seconds since 1970 UTC with the milliseconds as fraction.
double ItemFile_CurrentTime();

// Defaults for absent texts, worked out once per run; nullptr when unknown.
const char* ItemMeta_ProgramName();
const char* ItemMeta_UserName();
const char* ItemMeta_OsText();

// The default program name from a program path: the part after the last
// folder separator, cut to 256 bytes, without a final ".exe"; "" when
// nothing is left.
std::string ItemMeta_ProgramNameFromPath(const std::string& path);
// "Microsoft Windows <name>" with " (<service pack>)" (one leading space of
// the service-pack text dropped) when there is one, "(unknown)" for a
// version it does not know; at most 127 characters.
std::string ItemMeta_FormatOsText(int major, int minor, bool ntPlatform,
                                  const std::string& servicePack);

// Supplied by the platform file: the program's path, the logged-on user,
// and the system's version (false when unknown).
std::string ItemMeta_PlatformProgramPath();
std::string ItemMeta_PlatformUserName();
bool ItemMeta_PlatformVersion(int* major, int* minor, bool* ntPlatform, std::string* servicePack);

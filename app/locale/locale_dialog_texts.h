// The dialog text table: for each dialog template, which control shows the
// text of which string key. Dialog templates carry no visible texts of their
// own; every dialog takes them from the current locale while it is set up.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

// One row of the built-in table: control 0 is the dialog window (its caption).
struct LocaleDialogTextRow {
    int control;
    const char* key;
};

// The built-in rows of one dialog template (generated, locale_dialog_table.cpp).
struct LocaleDialogTextList {
    int dialog;
    const LocaleDialogTextRow* rows;
    std::size_t count;
};

extern const LocaleDialogTextList kLocaleDialogTextLists[];
extern const std::size_t kLocaleDialogTextListCount;

// One row of the live table.
struct LocaleDialogText {
    int control;
    std::string key;
};

using LocaleDialogTable = std::map<int, std::vector<LocaleDialogText>>;

// Fills the whole table from the built-in rows. Calling it again gives the
// same table.
void Locale_RegisterDialogTexts();

// Makes the dialog's list empty (creating it when absent) and the current list.
void Locale_BeginDialogTexts(int dialog);

// Appends a row to the current list; the key is copied. Without a current
// list nothing happens.
void Locale_AddDialogText(int control, const char* key);

// The rows of one dialog, in order; an id without an entry gets an empty one.
std::vector<LocaleDialogText> Locale_DialogTexts(int dialog);

// A copy of the whole table.
LocaleDialogTable Locale_DialogTextTable();

// Hands each row's text (Locale_GetString of its key) to `setText`, in row
// order. The Windows side sets window and control texts through it.
void Locale_ApplyDialogTexts(int dialog,
                             const std::function<void(int control, const char* text)>& setText);

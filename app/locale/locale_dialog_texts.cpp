#include "app/locale/locale_dialog_texts.h"

#include "app/locale/locale_lookup.h"

#include <mutex>

namespace {

struct DialogTextState {
    std::mutex mutex;
    LocaleDialogTable table;
    std::vector<LocaleDialogText>* current = nullptr;
};

DialogTextState& State() {
    // Never destroyed: dialogs may be localised while the program shuts down.
    static DialogTextState* state = new DialogTextState();
    return *state;
}

}  // namespace

void Locale_RegisterDialogTexts() {
    for (std::size_t i = 0; i < kLocaleDialogTextListCount; ++i) {
        const LocaleDialogTextList& list = kLocaleDialogTextLists[i];
        Locale_BeginDialogTexts(list.dialog);
        for (std::size_t r = 0; r < list.count; ++r)
            Locale_AddDialogText(list.rows[r].control, list.rows[r].key);
    }
}

void Locale_BeginDialogTexts(int dialog) {
    DialogTextState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::vector<LocaleDialogText>& rows = state.table[dialog];
    rows.clear();
    state.current = &rows;  // map nodes stay where they are
}

void Locale_AddDialogText(int control, const char* key) {
    DialogTextState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.current && key)
        state.current->push_back(LocaleDialogText{control, key});
}

std::vector<LocaleDialogText> Locale_DialogTexts(int dialog) {
    DialogTextState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.table[dialog];
}

LocaleDialogTable Locale_DialogTextTable() {
    DialogTextState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.table;
}

void Locale_ApplyDialogTexts(int dialog,
                             const std::function<void(int control, const char* text)>& setText) {
    // Work on a copy: setting a text may run window code that localises
    // another dialog.
    for (const LocaleDialogText& row : Locale_DialogTexts(dialog))
        setText(row.control, Locale_GetString(row.key.c_str()));
}

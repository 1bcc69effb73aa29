#include "app/ui/message_texts.h"

#include "app/base/app_messages.h"
#include "app/locale/locale_lookup.h"

void App_UseLocaleTexts() {
    App_SetTextLookup([](const std::string& key) { return std::string(Locale_GetString(key.c_str())); });
}

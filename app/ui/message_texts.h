// The texts of the messages that lower layers send by key alone come from the
// loaded locale.
#pragma once

// Installs the locale's lookup as the message sink's text lookup.
void App_UseLocaleTexts();

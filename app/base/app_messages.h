// The program's message boxes as the portable code sees them. Every box goes
// through one replaceable sink: the Windows shell installs a sink that shows
// real message boxes, tests install one that records, and with no sink the
// message is written to stderr.
//
// Code below the locale cannot look its texts up itself: it hands over the
// text key alone, and the text is looked up through the installed text
// lookup (the shell installs the locale's) before the sink sees the message.
#pragma once

#include <functional>
#include <string>

// Plain is a box without an icon.
enum class MessageKind { Error, Warning, Info, Plain };

struct AppMessage {
    MessageKind kind = MessageKind::Info;
    std::string textKey;     // locale key of the text, empty when the caller has none
    std::string titleKey;    // locale key of the title, empty for the application title
    std::string title;       // a fixed title, for boxes shown before the locale is loaded
    bool ownerless = false;  // shown with no owner window (before the main window exists)
    void* owner = nullptr;   // the window (handle) that owns the box when not the main window
    std::string text;        // the text as shown
};

using MessageSink = std::function<void(const AppMessage&)>;

// Installs the sink that receives every message; an empty function restores
// the stderr fallback. Safe to call from any thread.
void App_SetMessageSink(MessageSink sink);

using TextLookup = std::function<std::string(const std::string& key)>;

// Installs the lookup that gives the text of a key for messages that carry a
// key and no text; an empty function removes it, and such messages then show
// their key. Safe to call from any thread.
void App_SetTextLookup(TextLookup lookup);

// The text of a key through the installed lookup (the key itself without
// one), for messages that fill variables into their text.
std::string App_TextOfKey(const std::string& key);

// Hands one message to the sink, its text looked up first when it carries
// only a key. Returns when the sink has returned (for a
// real box: when the user closed it).
void App_ShowMessage(const AppMessage& message);

void App_ErrorBox(const std::string& text, const std::string& textKey = std::string(),
                  const std::string& titleKey = std::string());
void App_WarningBox(const std::string& text, const std::string& textKey = std::string(),
                    const std::string& titleKey = std::string());
void App_InfoBox(const std::string& text, const std::string& textKey = std::string(),
                 const std::string& titleKey = std::string());

// The same boxes for callers that have only the text key.
void App_ErrorBoxOfKey(const std::string& textKey, const std::string& titleKey = std::string());
void App_WarningBoxOfKey(const std::string& textKey, const std::string& titleKey = std::string());

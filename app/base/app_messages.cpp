#include "app/base/app_messages.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_sinkMutex;
MessageSink g_sink;
TextLookup g_lookup;

const char* KindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return "error";
        case MessageKind::Warning:
            return "warning";
        case MessageKind::Info:
            return "info";
        case MessageKind::Plain:
            return "message";
    }
    return "message";
}

void WriteToStderr(const AppMessage& message) {
    std::fprintf(stderr, "[%s]%s%s %s\n", KindName(message.kind), message.textKey.empty() ? "" : " ",
                 message.textKey.c_str(), message.text.c_str());
}

void Show(MessageKind kind, const std::string& text, const std::string& textKey, const std::string& titleKey) {
    AppMessage message;
    message.kind = kind;
    message.textKey = textKey;
    message.titleKey = titleKey;
    message.text = text;
    App_ShowMessage(message);
}

}  // namespace

void App_SetMessageSink(MessageSink sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

void App_SetTextLookup(TextLookup lookup) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_lookup = std::move(lookup);
}

std::string App_TextOfKey(const std::string& key) {
    TextLookup lookup;
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        lookup = g_lookup;
    }
    return lookup ? lookup(key) : key;
}

void App_ShowMessage(const AppMessage& message) {
    MessageSink sink;
    TextLookup lookup;
    {
        // Call the sink outside the lock: a message box blocks, and the sink
        // may itself show further messages.
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        sink = g_sink;
        lookup = g_lookup;
    }
    AppMessage shown = message;
    if (shown.text.empty() && !shown.textKey.empty()) shown.text = lookup ? lookup(shown.textKey) : shown.textKey;
    if (sink)
        sink(shown);
    else
        WriteToStderr(shown);
}

void App_ErrorBox(const std::string& text, const std::string& textKey, const std::string& titleKey) {
    Show(MessageKind::Error, text, textKey, titleKey);
}

void App_WarningBox(const std::string& text, const std::string& textKey, const std::string& titleKey) {
    Show(MessageKind::Warning, text, textKey, titleKey);
}

void App_InfoBox(const std::string& text, const std::string& textKey, const std::string& titleKey) {
    Show(MessageKind::Info, text, textKey, titleKey);
}

void App_ErrorBoxOfKey(const std::string& textKey, const std::string& titleKey) {
    Show(MessageKind::Error, std::string(), textKey, titleKey);
}

void App_WarningBoxOfKey(const std::string& textKey, const std::string& titleKey) {
    Show(MessageKind::Warning, std::string(), textKey, titleKey);
}

#include "app/ui/app_messages.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex g_sinkMutex;
MessageSink g_sink;

const char* KindName(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error: return "error";
        case MessageKind::Warning: return "warning";
        case MessageKind::Info: return "info";
    }
    return "message";
}

void WriteToStderr(const AppMessage& message) {
    std::fprintf(stderr, "[%s]%s%s %s\n", KindName(message.kind),
                 message.textKey.empty() ? "" : " ", message.textKey.c_str(),
                 message.text.c_str());
}

void Show(MessageKind kind, const std::string& text, const std::string& textKey,
          const std::string& titleKey) {
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

void App_ShowMessage(const AppMessage& message) {
    MessageSink sink;
    {
        // Call the sink outside the lock: a message box blocks, and the sink
        // may itself show further messages.
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        sink = g_sink;
    }
    if (sink)
        sink(message);
    else
        WriteToStderr(message);
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

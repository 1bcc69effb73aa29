// The one handler of every command id of the menus, the accelerators, the
// toolbars, the panels and the program itself.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// 1 when the id was handled, 0 when the caller is to pass it on.
int MainWnd_OnCommand(WORD id);

// Commands whose work the program does not offer yet answer with one
// information box naming the command and change nothing.
bool Command_IsNotAvailable(WORD id);
std::string Command_Label(WORD id);

// The Yes/No question of the commands (IDYES or IDNO); tests install their own.
using QuestionSink = std::function<int(const std::string& text, const std::string& title)>;
void Commands_SetQuestionSink(QuestionSink sink);
int Commands_Ask(const std::string& text, const std::string& title);

// The HTML Help viewer, behind a seam: the call HtmlHelpA would get.
using HelpViewer = std::function<HWND(HWND owner, const char* file, UINT command, DWORD_PTR data)>;
void Help_SetViewer(HelpViewer viewer);
void Help_Show();
bool Help_ShowTopic(const char* keyword);

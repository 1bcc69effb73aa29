// The one handler of every command id of the menus, the accelerators, the
// toolbars, the panels and the program itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// 1 when the id was handled, 0 when the caller is to pass it on.
int MainWnd_OnCommand(WORD id);
// The view window made again (its pixel format follows the settings), with
// its listeners; false when it could not be made.
bool Commands_RecreateView();

// A command's menu text without its mnemonic marker.
std::string Command_Label(WORD id);

// The Yes/No question of the commands (IDYES or IDNO); tests install their own.
using QuestionSink = std::function<int(const std::string& text, const std::string& title)>;
void Commands_SetQuestionSink(QuestionSink sink);
int Commands_Ask(const std::string& text, const std::string& title);

// The reference commands: switch to the receiver (1) or the transmitter (0)
// as reference, and convert the scan between the two. The chooser stands in
// for the Change Reference dialog (0 cancel, 1 new scan, 2 repair scan).
using ReferenceChooser = std::function<int()>;
void ReferenceCommands_SetChooser(ReferenceChooser chooser);
void ReferenceCommand_Change(int32_t value);
void ReferenceCommand_Swap();

// The Timer Mode panel over the timer values (created, or refreshed when
// open); its handle. The refresh after every change of the timer's state.
struct TimerSettings;
HWND ShowTimerModePanel(TimerSettings* parameters);
void TimerModePanel_Refresh();

// The HTML Help viewer, behind a seam: the call HtmlHelpA would get.
using HelpViewer = std::function<HWND(HWND owner, const char* file, UINT command, DWORD_PTR data)>;
void Help_SetViewer(HelpViewer viewer);
void Help_Show();
bool Help_ShowTopic(const char* keyword);

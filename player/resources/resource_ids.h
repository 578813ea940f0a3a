// Numeric ids of the player's resources: template, menu, icons, bitmaps, strings, controls and
// menu commands. Other programs and the window messages rely on these numbers.
#pragma once

#include <cstdint>

// The graph notification message and the export's parameter belong to the engine.
#include "player/engine/notify_target.h"

namespace vedra {

// Template, menu and string.
inline constexpr int IDD_VEDRAPLAYER_DIALOG = 130;
inline constexpr int IDR_FILE_MENU = 132;
inline constexpr int IDS_TITLE = 156;

// Icons and bitmaps.
inline constexpr int IDI_APP = 128;
inline constexpr int IDI_AVI = 133;
inline constexpr int IDI_PAUSE = 134;
inline constexpr int IDI_PLAY = 135;
inline constexpr int IDI_SNAPSHOT = 136;
inline constexpr int IDI_STOP = 137;
inline constexpr int IDI_SOUND_OFF = 140;
inline constexpr int IDI_SOUND_ON = 141;
inline constexpr int IDI_PREVIOUS = 146;
inline constexpr int IDI_NEXT = 147;
inline constexpr int IDB_PLAYLIST = 152;
inline constexpr int IDB_PLAYLIST_SELECTED = 153;

// Controls of template 130.
inline constexpr int IDC_LOAD = 1000;
inline constexpr int IDC_REPLAY = 1001;
inline constexpr int IDC_MUTE = 1002;
inline constexpr int IDC_TOOL_GROUP = 1003;
inline constexpr int IDC_PANE_LABEL_1 = 1006; // 1006..1009
inline constexpr int IDC_UNIT_LABEL = 1010;
inline constexpr int IDC_PANE_1 = 1011; // 1011..1014 quad panes
inline constexpr int IDC_PANE_LARGE = 1015;
inline constexpr int IDC_PLAY = 1016;
inline constexpr int IDC_PAUSE = 1017;
inline constexpr int IDC_SLASH_LABEL = 1018;
inline constexpr int IDC_STOP = 1020;
inline constexpr int IDC_CHANNEL_1 = 1021; // 1021..1024
inline constexpr int IDC_AUDIO = 1025;
inline constexpr int IDC_NEXT = 1026;
inline constexpr int IDC_CURRENT_TIME = 1027;
inline constexpr int IDC_TOTAL_TIME = 1028;
inline constexpr int IDC_PROGRESS = 1029;
inline constexpr int IDC_PREVIOUS = 1030;
inline constexpr int IDC_AVI = 1031;
inline constexpr int IDC_PLAYLIST = 1032;
inline constexpr int IDC_VOLUME = 1034;
inline constexpr int IDC_BMP = 1035;
inline constexpr int IDC_JPG = 1036;

// Menu commands.
inline constexpr int ID_FILE_EXIT = 32771;
inline constexpr int ID_FILE_LOAD = 32772;
inline constexpr int ID_FILE_CLOSE = 32773;
inline constexpr int ID_FILE_CLOSE_ALL = 32776;
inline constexpr int ID_FILE_LIST_FIRST = 1640; // ..1650
inline constexpr int ID_FILE_LIST_LAST = 1650;
inline constexpr int ID_AUDIO_DEVICE_FIRST = 1740; // ..1750
inline constexpr int ID_AUDIO_DEVICE_LAST = 1750;

// Window messages the dialog accepts (PostMessage).
inline constexpr unsigned MsgShowFileMenu = 0x478;
inline constexpr unsigned MsgAddFile = 0xC02;
inline constexpr unsigned MsgRemoveFileEntry = 0x1C02;
inline constexpr unsigned MsgOpenFileEntry = 0x2C02;
inline constexpr unsigned MsgClose = 0x0010; // the close command the dialog posts to itself

} // namespace vedra

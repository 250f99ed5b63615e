#pragma once
// Resource ids of every dialog, control, bitmap, icon, cursor, menu, menu
// command and string of the program. One number may carry several names when
// different dialogs use it for controls of different roles.

#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC (-1)

// ---- dialog templates ----
#define IDD_TESSAL_DIALOG 102   // main window
#define IDD_DLG_MAIN 157        // file browser view
#define IDD_DLG_DEV 165         // device and image selection
#define IDD_DLG_SECTOR 166      // sector viewer
#define IDD_DLG_TOC 167         // track list
#define IDD_DLG_PROGRESS 172    // copy progress
#define IDD_DLG_VOL 176         // volume descriptor fields
#define IDD_DLG_DEVINFO 191     // drive capabilities
#define IDD_DLG_ABOUT 208
#define IDD_DLG_AUDIOPLAY 220   // audio track player panel
#define IDD_DLG_SCANDISC 235    // read-error scan

// ---- menu and its commands ----
#define IDR_MENU_MAIN 232
#define ID_FILE_SELECTDEVICE 32771
#define ID_FILE_SHOWSECTOR 32772
#define ID_FILE_EJECT 32773
#define ID_FILE_CLOSEDEVICE 32774
#define ID_FILE_EXIT 32775
#define ID_VIEW_REFRESH 32776
#define ID_VIEW_SAVEDATA 32777
#define ID_TOOLS_SHOWTOC 32778
#define ID_TOOLS_VOLUMEINFO 32779
#define ID_TOOLS_DEVICEINFO 32780
#define ID_TOOLS_DISCSCAN 32781
#define ID_HELP_TOPIC 32783
#define ID_HELP_ABOUT 32784

// ---- controls ----
// main window
#define IDC_BTN_SELDEVICE 1001
#define IDC_BTN_SECTOR 1002
#define IDC_BTN_REFRESH 1003
#define IDC_BTN_TOC 1004
#define IDC_BTN_VOLUME 1005
#define IDC_BTN_EXIT 1006
#define IDC_BTN_SAVE 1008
#define IDC_BTN_DEVINFO 1009
#define IDC_BTN_EJECT 1023
#define IDC_BTN_ABOUT 1024
#define IDC_BTN_CLOSETRAY 1025
#define IDC_BTN_HELP 1026
#define IDC_VIEW_HOST 1029
#define IDC_BTN_MINIMIZE 1030
#define IDC_BTN_CLOSE 1031
#define IDC_AUDIO_HOST 1037
#define IDC_MENU_FILE 1045
#define IDC_MENU_VIEW 1046
#define IDC_MENU_TOOLS 1047
#define IDC_MENU_HELP 1048
#define IDC_STATUS 1049
// file browser
#define IDC_TREE_DISC 1008
#define IDC_SPLITTER 1009
#define IDC_LIST_FILES 1010
// device selection
#define IDC_LIST_DEVICES 1010
#define IDC_BTN_OK 1012
#define IDC_BTN_CANCEL 1013
// sector viewer
#define IDC_EDIT_SECTOR 1013
#define IDC_SCROLL_SECTOR 1014
#define IDC_CHECK_ALLMODE 1015
#define IDC_LIST_DUMP 1016
// track list, volume, capabilities
#define IDC_LIST_TOC 1017
#define IDC_LIST_VOLUME 1022
#define IDC_LIST_DEVINFO 1028
// progress and scan
#define IDC_PROGRESS 1018
#define IDC_EDIT_CAPTION 1020
#define IDC_LIST_ERRORS 1010
#define IDC_STATIC_ERRORS 1033
#define IDC_BTN_STARTSTOP 1048
// about box
#define IDC_STATIC_PRODUCT 1033
#define IDC_STATIC_VERSION 1036
// audio player
#define IDC_BTN_PRE 1038
#define IDC_BTN_PLAY 1039
#define IDC_BTN_PAUSE 1040
#define IDC_BTN_STOP 1042
#define IDC_BTN_NEXT 1043
#define IDC_SLIDER_POS 1044

// ---- bitmaps ----
// round command buttons of the main window: normal, pressed
#define IDB_SELDEVICE 142
#define IDB_SELDEVICE_DOWN 144
#define IDB_SECTOR 145
#define IDB_SECTOR_DOWN 146
#define IDB_REFRESH 147
#define IDB_REFRESH_DOWN 148
#define IDB_TOC 149
#define IDB_TOC_DOWN 150
#define IDB_VOLUME 151
#define IDB_VOLUME_DOWN 152
#define IDB_EXIT 153
#define IDB_EXIT_DOWN 154
#define IDB_SAVE 173
#define IDB_SAVE_DOWN 174
#define IDB_DEVINFO 193
#define IDB_DEVINFO_DOWN 194
// triangle buttons: mask, normal, pressed
#define IDB_EJECT_MASK 177
#define IDB_EJECT 179
#define IDB_EJECT_DOWN 180
#define IDB_ABOUT_MASK 181
#define IDB_ABOUT 182
#define IDB_ABOUT_DOWN 184
#define IDB_CLOSETRAY_MASK 185
#define IDB_CLOSETRAY 186
#define IDB_CLOSETRAY_DOWN 187
#define IDB_HELP_MASK 188
#define IDB_HELP 189
#define IDB_HELP_DOWN 190
// window buttons
#define IDB_CLOSE 206
#define IDB_MINIMIZE 207
// device selection
#define IDB_DEV_MASK 158
#define IDB_OK 160
#define IDB_OK_DOWN 161
#define IDB_CANCEL 162
#define IDB_CANCEL_DOWN 163
#define IDB_DEV_BACK 219
// main window skin
#define IDB_MAIN_MASK 171
#define IDB_VIEW_MASK 211
#define IDB_MAIN_BACK 217
// progress dialog
#define IDB_PROGRESS_MASK 175
#define IDB_PROGRESS_BACK 218
// about box
#define IDB_ABOUT_CORNER 215
#define IDB_ABOUT_LOGO 216
// audio player: normal, second state
#define IDB_PLAYER_PRE 221
#define IDB_PLAYER_PRE_DOWN 222
#define IDB_PLAYER_PLAY 223
#define IDB_PLAYER_PLAY_DOWN 224
#define IDB_PLAYER_NEXT 225
#define IDB_PLAYER_NEXT_DOWN 226
#define IDB_PLAYER_PAUSE 227
#define IDB_PLAYER_PAUSE_DOWN 228
#define IDB_PLAYER_STOP 229
#define IDB_PLAYER_STOP_DOWN 230
// disc scan
#define IDB_SCAN_MASK 237
#define IDB_SCAN_BACK 238

// ---- icons and cursor ----
#define IDR_MAINFRAME 128
#define IDC_CURSOR_HAND 156
#define IDI_FOLDER_OPEN 198
#define IDI_FOLDER 199
#define IDI_FILE 200
#define IDI_DATA_TRACK 201
#define IDI_AUDIO_TRACK 202

// ---- strings ----
#define IDS_HINT_SELDEVICE 1
#define IDS_HINT_REFRESH 2
#define IDS_HINT_SECTOR 3
#define IDS_HINT_TOC 4
#define IDS_HINT_SAVE 5
#define IDS_HINT_VOLUME 6
#define IDS_HINT_DEVINFO 7
#define IDS_HINT_EXIT 8
#define IDS_HINT_EJECT 9
#define IDS_HINT_ABOUT 10
#define IDS_HINT_HELP 11
#define IDS_HINT_CLOSETRAY 12
#define IDS_BLANK_DISC 13
#define IDS_NOT_READY 14
#define IDS_SELECT_DEVICE 15
#define IDS_OVERWRITE 17
#define IDS_NO_WAVE_DEVICE 20
#define IDS_NO_WAVE_FORMAT 21
#define IDS_WAVE_OPEN_ERROR 22
#define IDS_NOT_FIRST_TRACK 23
#define IDS_BAD_IMAGE 24

// Resource ids shared by the resource script and the program.
#pragma once

#define IDD_ZARNWEBINSTALLER_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_PROGRESS_TILE0 130
#define IDB_PROGRESS_TILE1 140
#define IDB_PROGRESS_TILE2 141
#define IDC_CANCEL_BUTTON 1000
#define IDC_HELP_LINK 1001
// Windows that carry the painted status text and percentage for screen readers.
#define IDC_STATUS_READER 1002
#define IDC_PROGRESS_READER 1003

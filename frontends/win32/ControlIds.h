#pragma once
// Identifiers of the window's resource and of its controls, read by the resource compiler
// (NorvikMain.rc) and by the window: plain macros only, which both understand.

// The window's dialog template and its window class, registered by the window.
#define IDD_NorvikMain 100
#define NORVIK_MAIN_CLASS "TNorvikMain"

// Controls, under the names of the form.
#define IDC_cboDrives 101
#define IDC_pbar 102
#define IDC_Bevel1 103
#define IDC_Label1 104
#define IDC_lblMsg 105
#define IDC_lblPercent 106
#define IDC_lblNewFW 107
#define IDC_lblUpdateMsg 108
#define IDC_cmdUpdate 109
#define IDC_cmdClose 110
#define IDC_lblOldFW 111

// The buttons' glyphs.
#define IDI_Update 200
#define IDI_Close 201

// The progress timer tmr (a window timer, not a control).
#define IDT_tmr 1

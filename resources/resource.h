#pragma once
// Identifiers of the executable's resources (menus, dialogs, icons, bitmaps).

#define IDR_MAINMENU 100
#define IDR_ACCELERATORS 101

// Main menu commands.
#define IDM_SAVE 1001
#define IDM_EXIT 1002
#define IDM_UNDOALL 1003
#define IDM_ADMINPASSWORD 1004
#define IDM_WEBSITE 1005
#define IDM_ABOUT 1006

// Controls of the main window.
#define IDC_CATEGORIES 2001
#define IDC_RESTRLIST 2002
#define IDC_INFO 2003
#define IDC_PNLCATEGORIES 2010
#define IDC_PNLRESTRICTIONS 2011
#define IDC_PNLADVANCED 2012
#define IDC_PNLDESCRIPTION 2013
#define IDC_PNLADDITIONALOPT 2014
#define IDC_CATEGORIESSPLITTER 2015
#define IDC_OPTSPLITTER 2016

// The advertising panel: two links, each with its lines of text.
#define IDC_LNKPRODUCT1 2020
#define IDC_LNKPRODUCT2 2021
#define IDC_ADVTEXT1 2022
#define IDC_ADVTEXT2 2023

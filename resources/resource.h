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
#define IDM_FIND 1007
#define IDM_PENDING 1008
#define IDM_EXPORTREG 1009
#define IDM_EXPORTPOL 1010
#define IDM_HIDENOEFFECT 1013
#define IDM_CHOOSEUSER 1011
#define IDM_RESTARTADMIN 1012
#define IDM_OPENPROFILE 1014
#define IDM_REMOVEFROMREGISTRY 1015
#define IDM_MOVECATEGORIESBAR 1016
#define IDM_MOVEDESCRIPTIONBAR 1017

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
#define IDC_SEARCH 2017
#define IDC_LOCATION 2018
#define IDC_SUPPORTED 2019
// The row above the panes: whose restrictions, and the line when not elevated.
#define IDC_USERLABEL 2030
#define IDC_USER 2031
#define IDC_ELEVATION 2032
#define IDC_RESTART 2033
// The status line along the bottom.
#define IDC_STATUS 2034

// The advertising panel: two links, each with its lines of text.
#define IDC_LNKPRODUCT1 2020
#define IDC_LNKPRODUCT2 2021
#define IDC_ADVTEXT1 2022
#define IDC_ADVTEXT2 2023

// Edit > Pending changes: the list of what the next save writes, or a line saying nothing.
#define IDD_PENDING 410
#define IDC_PENDINGLIST 4101
#define IDC_PENDINGNONE 4102

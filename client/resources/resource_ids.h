#pragma once

// Resource numbers of ZelkoVuroUpdateGui.exe. Included by the resource
// script and by the code; keep to plain #defines.

// The pictures (drawn in client/art) and the About box (with the maker's
// web-site host string, IDS_WEB_SITE_HOST) have headers of their own.
#include "../art/picture_ids.h"
#include "../controls/about_resources.h"

// Strings.
#define IDS_OLE_INIT_FAILED 100
#define IDS_PRODUCT_TITLE 102

// Tray menu (also the tray icon's id) and its commands.
#define IDR_SYSTRAY_MENU 147
#define ID_CHECK_FOR_UPDATES 32776
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665

// Wizard pages.
#define IDD_PAGE_WELCOME 103
#define IDD_PAGE_LIST_UPDATES 105
#define IDD_PAGE_PREP_UPDATES 108
#define IDD_PAGE_PROGRESS 109
#define IDD_PAGE_FINISH 110
#define IDD_PAGE_ERROR 149

// Controls of the wizard pages.
#define IDC_PREP_PROGRESS 1008
#define IDC_DOWNLOAD_PROGRESS 1008
#define IDC_INSTALL_PROGRESS 1009
#define IDC_RESULT_LIST 1011
#define IDC_UPDATE_TREE 1019
#define IDC_WELCOME_TITLE 1022
#define IDC_INSTALLED_LIST 1023
#define IDC_CLICK_LABEL 1024
#define IDC_NEXT_LABEL 1025
#define IDC_SEE_UPDATES_LABEL 1026
#define IDC_FINISH_TITLE 1026
#define IDC_ERROR_HEADLINE 1027
#define IDC_DESCRIPTION 1033
#define IDC_DOWNLOAD_STATUS 1034
#define IDC_INSTALL_STATUS 1035
#define IDC_RESULT_LINE 1036

// Resource numbers of the About box. Included by about_dialog.rc and the code.
#pragma once

// The background picture, IDB_ABOUT_BACKGROUND, is one of the client's pictures.
#include "../art/picture_ids.h"

#define IDD_ABOUT_BOX 148
#define IDC_ABOUT_VERSION 1054
#define IDC_ABOUT_COPYRIGHT 1055
#define IDC_ABOUT_WEB_SITE 1056
// The maker's web-site host (a string resource of the program).
#define IDS_WEB_SITE_HOST 106

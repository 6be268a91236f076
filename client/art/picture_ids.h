// Resource numbers of the tray client's pictures. Included by pictures.rc
// and, through the other resource headers, by the code; keep to plain
// #defines. The numbers are the file names' numbers in src/.
#pragma once

// Program and tray icon.
#define IDR_MAINFRAME 138

// Wizard pictures, in the roles the wizard's image list gives them.
#define IDI_CHECKED_BOX 153
#define IDI_INSTALLED_HEADING 154
#define IDI_OFFERED_PRODUCT 155
#define IDI_UNCHECKED_BOX 156
#define IDI_SUCCESS 161
#define IDI_FAILURE 163

#define IDB_INTERIOR_PAGE 130
#define IDB_WATERMARK 150
#define IDB_HEADER 151
#define IDB_ABOUT_BACKGROUND 164

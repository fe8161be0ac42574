#pragma once

// Resource numbers shared by the Windows program's .rc and its code.

// The bar's image list, one icon each: image i is IDI_IMAGE_FIRST + i (resources/images/pictures).
#define IDI_IMAGE_FIRST 100
#define IDI_BUTTON_OK 120
#define IDI_BUTTON_CANCEL 121
#define IDB_ABOUT_PICTURE 200
// The main icon is the icon group named MAINICON.

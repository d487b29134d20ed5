// Control ids of the converter dialog, shared by converter.rc and the window code.
#pragma once

#define IDC_STATIC (-1)
#define IDC_SET_LIST 1000
#define IDC_SELECT_ALL 1002
#define IDC_SELECT_DIR 1004
#define IDC_RECIPE_DIR 1005

// Resource identifiers of the main window and the program.
#pragma once

#define IDI_VANTREL 1

#define IDR_MAINMENU 100
#define IDR_MAINACCEL 101

#define IDV_VERSIONINFO 1

// Resource identifiers of the main window.
#pragma once

#define IDR_MAINMENU 100
#define IDR_MAINACCEL 101

// Menu commands.
#define IDM_VIEWTYPELIB 200
#define IDM_HEX 201
#define IDM_READTIMELIMIT 202
#define IDM_SAVE_APPIDS 210
#define IDM_SAVE_INTERFACES 211
#define IDM_SAVE_CLASSES 212
#define IDM_SAVE_TYPELIBS 213
#define IDM_SAVE_PROBLEMS 214
#define IDM_REFRESH 220
#define IDM_EXIT 221
#define IDM_VIEWTLB 230
#define IDM_CREATEINST 231
#define IDM_CREATEINST_INPROC 234
#define IDM_CREATEINST_LOCAL 235
#define IDM_REG 232
#define IDM_UNREG 233
#define IDM_ABOUT 240
// The registry views: a radio pair, in this order.
#define IDM_VIEW64 250
#define IDM_VIEW32 251
#define IDM_FIND 260
#define IDM_CHECK 261

// Controls.
#define IDC_TREE 300
#define IDC_NAME 301
#define IDC_GUID 302
#define IDC_DEFAULTICON 303
#define IDC_STATUS 304
#define IDC_TABPANEL 305
#define IDC_REGTREE 306
#define IDC_MEMO 307
#define IDC_VIEW 308
#define IDC_COPY 309
#define IDC_REGISTER 310
#define IDC_UNREGISTER 311
#define IDC_SEARCH 312
#define IDC_RESULTS 313
#define IDC_PROGRESS 314

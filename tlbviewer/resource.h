// Resource identifiers of the type library viewer.
#pragma once

// Declaration tree images in the order of their node kinds: the eight type kinds, the library, a group.
#define IDI_TLB_ENUM 20
#define IDI_TLB_STRUCT 21
#define IDI_TLB_MODULE 22
#define IDI_TLB_INTERFACE 23
#define IDI_TLB_DISPINTERFACE 24
#define IDI_TLB_COCLASS 25
#define IDI_TLB_TYPEDEF 26
#define IDI_TLB_UNION 27
#define IDI_TLB_LIBRARY 28
#define IDI_TLB_FOLDER 29

#define IDR_TLBMENU 500
#define IDR_TLBACCEL 501

#define IDM_TLB_SAVEAS 510
#define IDM_TLB_PRINT 511
#define IDM_TLB_EXIT 512
#define IDM_TLB_FIND 513
#define IDM_TLB_FINDNEXT 514

#define IDC_TLB_TREE 520
#define IDC_TLB_MEMO 521
#define IDC_TLB_STATUS 522

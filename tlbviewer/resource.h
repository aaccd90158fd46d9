// Resource identifiers of the type library viewer.
#pragma once

#define IDR_TLBMENU 500
#define IDR_TLBACCEL 501

#define IDM_TLB_SAVEAS 510
#define IDM_TLB_PRINT 511
#define IDM_TLB_EXIT 512
#define IDM_TLB_FIND 513
#define IDM_TLB_FINDNEXT 514
// The texts the editor shows: a radio group, in this order.
#define IDM_TLB_ANNOTATED 515
#define IDM_TLB_IMPORT 516
#define IDM_TLB_IDL 517

#define IDC_TLB_TREE 520
#define IDC_TLB_MEMO 521
#define IDC_TLB_STATUS 522

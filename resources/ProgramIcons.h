// Identifiers of the program's icons, shared by every window that shows one.
#pragma once

#define IDI_VANTREL 1

// Catalog images in the order of their image index: root, class, type library, application ID, interface.
#define IDI_CATALOG_ROOT 10
#define IDI_CATALOG_CLASS 11
#define IDI_CATALOG_TYPELIB 12
#define IDI_CATALOG_APPID 13
#define IDI_CATALOG_INTERFACE 14

// The type library viewer's declaration tree, in the order of its node kinds: the eight type
// kinds, the library, a group.
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

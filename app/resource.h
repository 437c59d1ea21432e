// Resource ids of the dialog application (shared by the resource script and the code).
#pragma once

#define IDR_MAINFRAME 134
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG 102
#define IDM_ABOUTBOX 0x0010
#define IDI_ABOUT_ICON 128

#define IDC_INSTALL 1000
#define IDC_EXTRACT 1001
#define IDC_PROBE_COMBO 1002
#define IDC_PID_EDIT 1003
#define IDC_VID_EDIT 1004
#define IDC_UID_EDIT 1005
#define IDC_USART_STATUS 1009
#define IDC_BRIDGE_STATUS 1010
#define IDC_WINUSB_STATUS 1011
#define IDC_USART_CHECK 1012
#define IDC_BRIDGE_CHECK 1013
#define IDC_WINUSB_CHECK 1014
#define IDC_WCID_LABEL 1015

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

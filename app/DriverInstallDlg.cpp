// The main dialog: construction, data exchange, message map and the handlers that are not about
// probes (those are in ProbeView.cpp) or commands (Commands.cpp).
#include "app/DriverInstallDlg.h"

#include <cstring>

#include "app/AboutDlg.h"
#include "win/lock.h"

CVelmor_DFU_DriverInstallDlg::CVelmor_DFU_DriverInstallDlg(CWnd* parent)
    : CDialogEx(IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG, parent),
      m_hIcon(nullptr),
      m_usartInstalled(false),
      m_bridgeInstalled(false),
      m_winusbInstalled(false),
      m_lock(),
      m_deviceList(nullptr),
      m_templateDevice(),
      m_listOptions(),
      m_installOptions(),
      m_refreshEnabled(true),
      m_lastProbeCount(0) {
  m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  ::InitializeCriticalSection(&m_lock);
  WriteCompatibilityMarker();
}

CVelmor_DFU_DriverInstallDlg::~CVelmor_DFU_DriverInstallDlg() { ::DeleteCriticalSection(&m_lock); }

void CVelmor_DFU_DriverInstallDlg::DoDataExchange(CDataExchange* dx) {
  CDialogEx::DoDataExchange(dx);
  DDX_Text(dx, IDC_PID_EDIT, m_pidText);
  DDX_Text(dx, IDC_VID_EDIT, m_vidText);
  DDX_Control(dx, IDC_PROBE_COMBO, m_probeCombo);
  DDX_Text(dx, IDC_UID_EDIT, m_uidText);
  DDX_Control(dx, IDC_INSTALL, m_installButton);
  DDX_Text(dx, IDC_USART_STATUS, m_usartStatus);
  DDX_Text(dx, IDC_BRIDGE_STATUS, m_bridgeStatus);
  DDX_Text(dx, IDC_WINUSB_STATUS, m_winusbStatus);
  DDX_Control(dx, IDC_USART_STATUS, m_usartStatusLabel);
  DDX_Control(dx, IDC_BRIDGE_STATUS, m_bridgeStatusLabel);
  DDX_Control(dx, IDC_WINUSB_STATUS, m_winusbStatusLabel);
  DDX_Control(dx, IDC_USART_CHECK, m_usartCheck);
  DDX_Control(dx, IDC_BRIDGE_CHECK, m_bridgeCheck);
  DDX_Control(dx, IDC_WINUSB_CHECK, m_winusbCheck);
  DDX_Text(dx, IDC_WCID_LABEL, m_wcidText);
}

BEGIN_MESSAGE_MAP(CVelmor_DFU_DriverInstallDlg, CDialogEx)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_INSTALL, &CVelmor_DFU_DriverInstallDlg::OnBnClickedInstall)
ON_CBN_SELCHANGE(IDC_PROBE_COMBO, &CVelmor_DFU_DriverInstallDlg::OnSelchangeProbe)
ON_WM_TIMER()
ON_BN_CLICKED(IDC_EXTRACT, &CVelmor_DFU_DriverInstallDlg::OnBnClickedExtract)
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

BOOL CVelmor_DFU_DriverInstallDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();

  CMenu* sys_menu = GetSystemMenu(FALSE);
  if (sys_menu != nullptr) {
    CString about;
    about.LoadString(IDS_ABOUTBOX);
    if (!about.IsEmpty()) {
      sys_menu->AppendMenu(MF_SEPARATOR);
      sys_menu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }

  const int checks[] = {IDC_USART_CHECK, IDC_BRIDGE_CHECK, IDC_WINUSB_CHECK};
  for (int id : checks) {
    HWND box = GetDlgItemHwnd(id);
    ::SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    ::ShowWindow(box, SW_SHOW);
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  RefreshProbes();
  SetTimer(1, 1000, nullptr);
  UpdateData(FALSE);
  return TRUE;
}

void CVelmor_DFU_DriverInstallDlg::OnSysCommand(UINT id, LPARAM lp) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialogEx::OnSysCommand(id, lp);
  }
}

void CVelmor_DFU_DriverInstallDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cx_icon = ::GetSystemMetrics(SM_CXICON);
    int cy_icon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cx_icon + 1) / 2;
    int y = (rect.Height() - cy_icon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialogEx::OnPaint();
  }
}

HCURSOR CVelmor_DFU_DriverInstallDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

bool CVelmor_DFU_DriverInstallDlg::LockHeldByThisThread() const {
  return m_lock.RecursionCount > 0 &&
         m_lock.OwningThread == reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(::GetCurrentThreadId()));
}

void CVelmor_DFU_DriverInstallDlg::OnTimer(UINT_PTR id) {
  if (m_refreshEnabled && !LockHeldByThisThread()) {
    velmor::critical_section_lock hold(m_lock);
    RefreshProbes();
  }
  CDialogEx::OnTimer(id);
}

HBRUSH CVelmor_DFU_DriverInstallDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT ctl_color) {
  HBRUSH brush = CDialogEx::OnCtlColor(dc, wnd, ctl_color);
  const COLORREF kGreen = RGB(0, 160, 0);
  const COLORREF kRed = RGB(255, 0, 0);
  const COLORREF kBlue = RGB(0, 0, 255);
  // A status line is coloured only when it has text: blue installed, red not installed.
  auto status_colour = [&](const CString& text, bool installed) {
    if (std::strcmp(text, "") != 0) dc->SetTextColor(installed ? kBlue : kRed);
  };
  switch (wnd->GetDlgCtrlID()) {
    case IDC_WCID_LABEL:
      dc->SetTextColor(std::strcmp(m_wcidText, "") != 0 ? kGreen : kRed);
      break;
    case IDC_USART_STATUS:
      status_colour(m_usartStatus, m_usartInstalled);
      break;
    case IDC_BRIDGE_STATUS:
      status_colour(m_bridgeStatus, m_bridgeInstalled);
      break;
    case IDC_WINUSB_STATUS:
      status_colour(m_winusbStatus, m_winusbInstalled);
      break;
    default:
      break;
  }
  return brush;
}

// The main dialog: construction, data exchange, message map and the handlers that are not about
// probes (those are in ProbeView.cpp) or commands (Commands.cpp).
#include "app/DriverInstallDlg.h"

#include <cstring>

#include "app/AboutDlg.h"
#include "app/InterfaceTable.h"
#include "win/lock.h"

CVelmor_DFU_DriverInstallDlg::CVelmor_DFU_DriverInstallDlg(CWnd* parent)
    : CDialogEx(IDD_VELMOR_DFU_DRIVERINSTALL_DIALOG, parent),
      m_hIcon(nullptr),
      m_lock(),
      m_deviceList(nullptr),
      m_templateDevice(),
      m_listOptions(),
      m_installOptions(),
      m_refreshEnabled(true),
      m_lastProbeCount(0) {
  for (const CommandInterface& row : kInterfaces) this->*MembersOf(row).installed = false;
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
  for (const CommandInterface& row : kInterfaces) DDX_Text(dx, row.status_id, this->*MembersOf(row).status);
  for (const CommandInterface& row : kInterfaces) DDX_Control(dx, row.status_id, this->*MembersOf(row).status_label);
  for (const CommandInterface& row : kInterfaces) DDX_Control(dx, row.check_id, this->*MembersOf(row).check);
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

  for (const CommandInterface& row : kInterfaces) {
    HWND box = GetDlgItemHwnd(row.check_id);
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
  const int id = wnd->GetDlgCtrlID();
  if (id == IDC_WCID_LABEL) dc->SetTextColor(std::strcmp(m_wcidText, "") != 0 ? kGreen : kRed);
  for (const CommandInterface& row : kInterfaces) {
    if (id == row.status_id) status_colour(this->*MembersOf(row).status, this->*MembersOf(row).installed);
  }
  return brush;
}

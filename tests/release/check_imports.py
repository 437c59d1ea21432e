#!/usr/bin/env python3
"""Fails when a shipped program could not start on Windows XP, or imports a module it must not.

    check_imports.py [--modules MODULE,...] PROGRAM...

XP's loader refuses a program that imports a function its system modules lack, or whose header
asks for a later system. For each program this reads the PE header, the import table and the
delay-loaded imports, and fails on
  - an operating-system or subsystem version above 5.1 (32-bit: XP SP3) or 5.2 (64-bit: XP x64 and
    Server 2003), or a subsystem version below what those loaders take;
  - an import of a module XP does not have, or of a MinGW runtime DLL (the programs are static);
  - an import of a function from the list below, which XP lacks (later functions are resolved at
    run time with GetProcAddress);
  - with --modules, an import of any module not named there: the programs run elevated from
    folders the user can write, so each module they import must be one the system never takes
    from the program's folder (docs/ARCHITECTURE.md says why each one is);
  - an import of a module that is no known DLL on some system the programs run on, even when
    --modules names it: such a file beside the program would be loaded before its first line;
  - an import of a function that a known DLL forwards to a module that is not one (advapi32's
    generator and CryptoAPI), which the loader then looks for the same way;
  - an import of a shell call that starts programs or makes folder trees, which the programs never make;
  - a program the loader is not told to load at a random address with its relocations (ASLR), with
    data never executed (DEP), and, 64-bit, with high-entropy addresses.
The function list holds what toolchains' runtimes and our own code are known to pull in; it is not
every later function of Windows.
"""
import re
import struct
import sys

from pe_image import PeImage

# Functions that Windows XP SP3 (32-bit) lacks, by module. Several exist on XP x64 / Server 2003;
# the 64-bit installer is held to the same list, so that both builds stay alike.
POST_XP = {
    "kernel32.dll": """
        GetTickCount64
        InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive
        ReleaseSRWLockShared TryAcquireSRWLockExclusive TryAcquireSRWLockShared
        InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
        WakeConditionVariable WakeAllConditionVariable
        InitOnceInitialize InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
        InitializeCriticalSectionEx InitializeSynchronizationBarrier EnterSynchronizationBarrier
        CreateEventExA CreateEventExW CreateMutexExA CreateMutexExW CreateSemaphoreExA
        CreateSemaphoreExW CreateWaitableTimerExW WaitOnAddress WakeByAddressSingle WakeByAddressAll
        FlsAlloc FlsFree FlsGetValue FlsSetValue
        CancelIoEx CancelSynchronousIo GetOverlappedResultEx GetQueuedCompletionStatusEx
        SetFileCompletionNotificationModes
        GetFileInformationByHandleEx SetFileInformationByHandle GetFinalPathNameByHandleA
        GetFinalPathNameByHandleW CreateFile2 CopyFile2 CreateSymbolicLinkA CreateSymbolicLinkW
        CreateSymbolicLinkTransactedA CreateSymbolicLinkTransactedW FindFirstStreamW
        FindNextStreamW GetVolumeInformationByHandleW Wow64DisableWow64FsRedirection
        Wow64RevertWow64FsRedirection Wow64EnableWow64FsRedirection
        LCMapStringEx CompareStringEx CompareStringOrdinal GetLocaleInfoEx SetLocaleInfoEx
        GetUserDefaultLocaleName GetSystemDefaultLocaleName LocaleNameToLCID LCIDToLocaleName
        GetDateFormatEx GetTimeFormatEx GetNumberFormatEx GetCurrencyFormatEx
        GetCalendarInfoEx EnumSystemLocalesEx EnumCalendarInfoExEx EnumDateFormatsExEx
        EnumTimeFormatsEx IsValidLocaleName ResolveLocaleName FindNLSStringEx GetNLSVersionEx
        IsNLSDefinedString GetUserPreferredUILanguages GetThreadPreferredUILanguages
        SetThreadPreferredUILanguages GetProcessPreferredUILanguages
        SetProcessPreferredUILanguages GetThreadUILanguage GetSystemPreferredUILanguages
        GetStringScripts GetDurationFormatEx
        SetDefaultDllDirectories AddDllDirectory RemoveDllDirectory
        QueryFullProcessImageNameA QueryFullProcessImageNameW GetProcessIdOfThread GetThreadId
        GetCurrentProcessorNumber GetCurrentProcessorNumberEx FlushProcessWriteBuffers
        InitializeProcThreadAttributeList UpdateProcThreadAttribute DeleteProcThreadAttributeList
        GetNamedPipeClientProcessId GetNamedPipeServerProcessId GetNamedPipeClientSessionId
        GetErrorMode SetThreadErrorMode GetThreadErrorMode GetProductInfo
        GetSystemTimePreciseAsFileTime GetCurrentThreadStackLimits QueryThreadCycleTime
        QueryProcessCycleTime QueryUnbiasedInterruptTime RaiseFailFastException
        CreateThreadpool CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork
        TrySubmitThreadpoolCallback CreateThreadpoolTimer CreateThreadpoolWait
        InterlockedCompareExchange64 RegisterApplicationRestart
        GetFileMUIPath GetSystemFirmwareTable
    """,
    "advapi32.dll": """
        RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW RegSetKeyValueA RegSetKeyValueW
        RegDeleteKeyValueA RegDeleteKeyValueW RegDeleteKeyExA RegDeleteKeyExW RegCopyTreeA
        RegCopyTreeW RegLoadMUIStringA RegLoadMUIStringW RegOpenKeyTransactedA
        RegOpenKeyTransactedW RegCreateKeyTransactedA RegCreateKeyTransactedW RegLoadAppKeyA
        RegLoadAppKeyW RegDisableReflectionKey RegEnableReflectionKey RegQueryReflectionKey
        TreeSetNamedSecurityInfoA TreeSetNamedSecurityInfoW AddMandatoryAce
        EventRegister EventUnregister EventWrite EventWriteTransfer EventWriteString
        EventEnabled EventSetInformation
        CredIsProtectedA CredIsProtectedW CredProtectA CredProtectW
    """,
    "user32.dll": """
        SetProcessDPIAware IsProcessDPIAware SetProcessDpiAwarenessContext GetDpiForWindow
        GetDpiForSystem ChangeWindowMessageFilter ChangeWindowMessageFilterEx
        AddClipboardFormatListener RemoveClipboardFormatListener ShutdownBlockReasonCreate
        ShutdownBlockReasonDestroy RegisterPowerSettingNotification
        UnregisterPowerSettingNotification GetWindowDisplayAffinity SetWindowDisplayAffinity
        CalculatePopupWindowPosition LogicalToPhysicalPoint PhysicalToLogicalPoint
        RegisterTouchWindow GetGestureInfo SetGestureConfig
    """,
    "shell32.dll": """
        SHGetKnownFolderPath SHGetKnownFolderIDList SHSetKnownFolderPath SHCreateItemFromParsingName
        SHCreateItemFromIDList SHCreateItemInKnownFolder SHGetStockIconInfo
        SHGetPropertyStoreForWindow SetCurrentProcessExplicitAppUserModelID
        GetCurrentProcessExplicitAppUserModelID SHGetFolderPathEx SHOpenWithDialog
        SHEvaluateSystemCommandTemplate SHAssocEnumHandlers SHCreateDefaultExtractIcon
    """,
    "setupapi.dll": """
        SetupDiGetDevicePropertyW SetupDiSetDevicePropertyW SetupDiGetDevicePropertyKeys
        SetupDiGetClassPropertyW SetupDiGetClassPropertyExW SetupDiSetClassPropertyW
        SetupDiSetClassPropertyExW SetupDiGetClassPropertyKeys SetupDiGetClassPropertyKeysExW
        SetupDiGetDeviceInterfacePropertyW SetupDiSetDeviceInterfacePropertyW
        SetupDiGetDeviceInterfacePropertyKeys SetupDiInstallDeviceInterfaces
        SetupGetInfDriverStoreLocationW SetupGetInfPublishedNameW SetupUninstallOEMInfW
        SetupDiRestartDevices
    """,
    "cfgmgr32.dll": """
        CM_Get_DevNode_PropertyW CM_Set_DevNode_PropertyW CM_Get_DevNode_Property_Keys
        CM_Get_Class_PropertyW CM_Get_Device_Interface_PropertyW CM_Register_Notification
        CM_Unregister_Notification CM_Get_Device_Interface_List_SizeW CM_MapCrToWin32Err
    """,
}
POST_XP = {dll: set(names.split()) for dll, names in POST_XP.items()}

# Modules a program started on XP must not import at all.
MISSING_MODULE_PREFIXES = ("api-ms-win-", "ext-ms-", "ucrtbase", "vcruntime", "msvcp1", "bcrypt",
                           "ncrypt", "libwinpthread", "libgcc_s", "libstdc++")

# Not known DLLs on every system from XP on (comctl32 on none, setupapi not on XP and Server 2003):
# loaded at run time from the system folder, never imported.
NOT_KNOWN_EVERYWHERE = {"comctl32.dll", "setupapi.dll", "cfgmgr32.dll", "newdev.dll", "version.dll",
                        "wintrust.dll", "mssign32.dll", "crypt32.dll", "shlwapi.dll"}

# Exports that later Windows forwards to a module outside the known DLLs: the loader resolves such an
# import at start-up by loading that module by bare name, beside the program first. advapi32 forwards
# its generator and CryptoAPI (SystemFunction0xx to cryptbase from Windows 7 on and to cryptsp from
# Windows 8 on, Crypt* to cryptsp from Windows 8 on).
FORWARDED_OUTSIDE_KNOWN = {
    "advapi32.dll": (re.compile(r"SystemFunction0\d\d$|Crypt[A-Z]"), "cryptbase.dll or cryptsp.dll"),
}

# Calls the programs never make: a program is started by its absolute path with CreateProcessW (the
# shell's verbs, App Paths and search path are the user's to change), and folders are made one by one
# and checked against links. Linked in, they are what a mistake would reach for.
NEVER_IMPORTED = {
    "shell32.dll": {"ShellExecuteA", "ShellExecuteW", "ShellExecuteExA", "ShellExecuteExW",
                    "SHCreateDirectoryExA", "SHCreateDirectoryExW"},
    "kernel32.dll": {"WinExec"},
}

# Highest operating-system and subsystem version each loader accepts, lowest subsystem version.
MACHINES = {
    0x014C: ("32-bit, Windows XP SP3", (5, 1), (3, 10)),
    0x8664: ("64-bit, Windows XP x64 / Server 2003", (5, 2), (5, 2)),
}


# What the loader is told to do for the programs (optional header's DLL characteristics): load them
# at a random address (ASLR, which needs their relocations), never execute data (DEP), and on
# 64-bit Windows use the whole address space for that randomness.
DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT = 0x0040, 0x0020, 0x0100
RELOCS_STRIPPED = 0x0001
BASE_RELOCATION_DIRECTORY = 5


def hardening_problems(image):
    out = []
    wanted = [(DYNAMIC_BASE, "ASLR (dynamic base)"), (NX_COMPAT, "DEP (NX compatible)")]
    if image.pe32_plus:
        wanted.append((HIGH_ENTROPY_VA, "high-entropy ASLR"))
    for flag, name in wanted:
        if not image.dll_characteristics & flag:
            out.append("not hardened: no %s flag" % name)
    relocations = (image.directories[BASE_RELOCATION_DIRECTORY] if len(image.directories) > BASE_RELOCATION_DIRECTORY
                   else (0, 0))
    if image.characteristics & RELOCS_STRIPPED or relocations[1] == 0:
        out.append("not hardened: no relocations, so the loader cannot move it (ASLR)")
    return out


def problems(path, allowed_modules=None):
    image = PeImage(path)
    if image.machine not in MACHINES:
        return ["unknown machine 0x%04X" % image.machine], []
    system, highest, lowest = MACHINES[image.machine]
    out = []
    if image.os_version > highest:
        out.append("operating-system version %d.%d is above %d.%d (%s)" % (image.os_version + highest + (system,)))
    if not lowest <= image.subsystem_version <= highest:
        out.append("subsystem version %d.%d is outside %d.%d to %d.%d (%s)"
                   % (image.subsystem_version + lowest + highest + (system,)))
    out.extend(hardening_problems(image))
    # A delay-loaded module is loaded by bare name at its first call: held to the same rules.
    delayed = image.delay_imports()
    imports = image.imports() + delayed
    modules = {module.lower() for module, _ in imports}
    if "kernel32.dll" not in modules:
        out.append("no kernel32.dll import found: the import table was not read")
    for module in sorted(modules):
        if module.startswith(MISSING_MODULE_PREFIXES):
            out.append("imports module %s, which %s lacks or which must be linked statically" % (module, system))
        elif module in NOT_KNOWN_EVERYWHERE:
            out.append("imports module %s, which is no known DLL everywhere: a copy beside the program would be"
                       " loaded (load it at run time from the system folder)" % module)
        elif allowed_modules is not None and module not in allowed_modules:
            out.append("imports module %s, which is not among %s (load it at run time from the system folder)"
                       % (module, ",".join(sorted(allowed_modules))))
    for module, name in imports:
        if name in NEVER_IMPORTED.get(module.lower(), ()):
            out.append("imports %s!%s, which the programs never call (dead code that was a risk)" % (module, name))
        if name in POST_XP.get(module.lower(), ()):
            out.append("imports %s!%s, which %s lacks (resolve it at run time)" % (module, name, system))
        forwarded = FORWARDED_OUTSIDE_KNOWN.get(module.lower())
        if forwarded and forwarded[0].match(name):
            out.append("imports %s!%s, which later Windows forwards to %s, no known DLL: a copy beside the"
                       " program would be loaded (resolve it at run time)" % (module, name, forwarded[1]))
    return out, sorted({module.lower() for module, _ in delayed})


def main(args):
    allowed_modules = None
    if len(args) >= 2 and args[0] == "--modules":
        allowed_modules = {name.strip().lower() for name in args[1].split(",") if name.strip()}
        args = args[2:]
    if not args:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    failed = False
    for path in args:
        try:
            found, delayed = problems(path, allowed_modules)
        except (OSError, ValueError, struct.error) as error:
            found, delayed = ["cannot read: %s" % error], []
        for line in found:
            print("%s: %s" % (path, line))
        if found:
            failed = True
        else:
            print("%s: starts on XP%s%s" % (path, "; imports only " + ",".join(sorted(allowed_modules))
                                             if allowed_modules is not None else "",
                                             "; delay-loads " + ",".join(delayed) if delayed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

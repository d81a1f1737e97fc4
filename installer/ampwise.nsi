; The one installer of both deliverables: Ampwise (a 32-bit program) and the driver package
; of tabvolt (tabvolt.sys and tabvolt.inf, 64-bit). Built on Linux with Debian's makensis:
;   makensis -DBUILD_DIR=<dir with Ampwise.exe and tabvolt.sys> -DDRIVER_DIR=<dir with
;   tabvolt.inf> ampwise.nsi
; The installer is itself a 32-bit program, so on 64-bit Windows its file-system access goes
; to SysWOW64 and parts of HKLM\Software to WOW6432Node unless it asks otherwise: the driver
; package is installed by the 64-bit rundll32 with redirection off, and the driver's keys are
; read in the 64-bit registry view.

Unicode true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include x64.nsh

!ifndef BUILD_DIR | DRIVER_DIR
!error "define BUILD_DIR and DRIVER_DIR"
!endif

!define PRODUCT "Ampwise"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SERVICE_KEY "SYSTEM\CurrentControlSet\Services\tabvoltx"
!define LOGON_TASK "${PRODUCT}"

Name "${PRODUCT}"
OutFile "${BUILD_DIR}/${PRODUCT}-setup.exe"
InstallDir "$PROGRAMFILES32\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "tabvolt is a 64-bit driver; ${PRODUCT} needs 64-bit Windows." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
FunctionEnd

; Applies a section of tabvolt.inf with SetupAPI, from the 64-bit rundll32 so that the INF's
; files go to the real System32\drivers. The INF's path is the rest of the command line.
!macro ApplyDriverInf SECTION
    ${DisableX64FSRedirection}
    ExecWait '"$SYSDIR\rundll32.exe" setupapi.dll,InstallHinfSection ${SECTION} 128 $INSTDIR\driver\tabvolt.inf'
    ${EnableX64FSRedirection}
!macroend

Section "${PRODUCT} and the tabvolt driver"
    SetOutPath "$INSTDIR"
    File "${BUILD_DIR}/Ampwise.exe"
    SetOutPath "$INSTDIR\driver"
    File "${BUILD_DIR}/tabvolt.sys"
    File "${DRIVER_DIR}/tabvolt.inf"
    ; The catalog exists only where the package was signed (on Windows); it travels with it.
    !if /FileExists "${BUILD_DIR}/tabvolt.cat"
    File "${BUILD_DIR}/tabvolt.cat"
    !endif
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

    !insertmacro ApplyDriverInf DefaultInstall
    SetRegView 64
    ReadRegDWORD $0 HKLM "${SERVICE_KEY}" "Type"
    SetRegView lastused
    ${If} $0 != 1
        MessageBox MB_ICONSTOP "The tabvolt driver package could not be installed." /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}

    ; Ampwise needs administrator rights, and Windows starts no such program elevated from
    ; the Run key or the Startup folder; a task run with the highest privileges at every
    ; logon does. schtasks reads the task from a UTF-16 file.
    FileOpen $0 "$INSTDIR\logon-task.xml" w
    FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $0 '  <RegistrationInfo><Description>Starts ${PRODUCT} at logon</Description></RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $0 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
    FileWriteUTF16LE $0 '  <Principals><Principal id="User"><GroupId>S-1-5-32-545</GroupId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
    FileWriteUTF16LE $0 '  <Settings><MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT0S</ExecutionTimeLimit></Settings>$\r$\n'
    FileWriteUTF16LE $0 '  <Actions Context="User"><Exec><Command>$INSTDIR\Ampwise.exe</Command></Exec></Actions>$\r$\n'
    FileWriteUTF16LE $0 '</Task>$\r$\n'
    FileClose $0
    ExecWait '"$SYSDIR\schtasks.exe" /Create /TN "${LOGON_TASK}" /XML "$INSTDIR\logon-task.xml" /F' $0
    Delete "$INSTDIR\logon-task.xml"
    ${If} $0 != 0
        DetailPrint "The logon task could not be created ($0): start ${PRODUCT} by hand."
    ${EndIf}
SectionEnd

Section "Uninstall"
    ExecWait '"$SYSDIR\schtasks.exe" /Delete /TN "${LOGON_TASK}" /F'
    ; Takes out the service, the driver file and only our own name from the class filters.
    !insertmacro ApplyDriverInf DefaultUninstall

    Delete /REBOOTOK "$INSTDIR\Ampwise.exe"
    Delete "$INSTDIR\driver\tabvolt.sys"
    Delete "$INSTDIR\driver\tabvolt.inf"
    Delete "$INSTDIR\driver\tabvolt.cat"
    RMDir "$INSTDIR\driver"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
